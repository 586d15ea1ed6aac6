// The browser pane: the system's web browser control hosted in place in a
// white child window through OLE (client site, in-place site and frame in
// one small object, which also hears the control's navigation events), and
// the pane's reload rules.
//
// The control's Refresh reloads whatever it shows: after a failed
// navigation that is its own error page, and with no document at all it
// fails and sends nothing. A forum that was down for a moment would never
// be asked again, so after a failed navigation, a failed Refresh, or while
// a load is still under way, a reload navigates again to the pane's own
// address, kept from Navigate and from NavigateComplete2 so that it
// follows the user's clicks in the page.
#include <exdispid.h>

#include "platform/win32/browser_site.h"

namespace tarvello::platform::win32 {

const wchar_t* const pane_class = L"TarvelloPane";

namespace {

// The text a by-reference or plain string argument of an event holds.
std::string string_of(const VARIANT& v) {
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal != nullptr) return string_of(*v.pvarVal);
    if (v.vt == VT_BSTR && v.bstrVal != nullptr) return utf8(v.bstrVal);
    if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal != nullptr && *v.pbstrVal != nullptr) {
        return utf8(*v.pbstrVal);
    }
    return {};
}

IDispatch* dispatch_of(const VARIANT& v) {
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    if (v.vt == (VT_BYREF | VT_DISPATCH) && v.ppdispVal != nullptr) return *v.ppdispVal;
    return nullptr;
}

bool is_error_page(const std::string& address) {
    return address.rfind("res:", 0) == 0 || address.rfind("about:", 0) == 0;
}

}  // namespace

bool browser_site::is_top(IDispatch* frame) const {
    if (frame == nullptr || browser_ == nullptr) return false;
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    const bool same = a != nullptr && a == b;
    if (a != nullptr) a->Release();
    if (b != nullptr) b->Release();
    return same;
}

STDMETHODIMP browser_site::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                  EXCEPINFO*, UINT*) {
    if (params == nullptr) return S_OK;
    // The arguments come last first.
    const auto arg = [params](UINT from_first) -> const VARIANT& {
        return params->rgvarg[params->cArgs - 1 - from_first];
    };
    switch (id) {
        case DISPID_BEFORENAVIGATE2:  // (frame, URL, flags, target, post data, headers, cancel)
            if (params->cArgs >= 2 && is_top(dispatch_of(arg(0))) &&
                !is_error_page(string_of(arg(1)))) {
                failed_ = false;
            }
            break;
        case DISPID_NAVIGATECOMPLETE2:  // (frame, URL)
            if (params->cArgs >= 2 && is_top(dispatch_of(arg(0)))) {
                const std::string address = string_of(arg(1));
                if (!address.empty() && !is_error_page(address)) address_ = address;
            }
            break;
        case DISPID_NAVIGATEERROR:  // (frame, URL, target, status, cancel)
            if (params->cArgs >= 1 && is_top(dispatch_of(arg(0)))) failed_ = true;
            break;
        default:
            break;
    }
    return S_OK;
}

bool browser_site::open() {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object_)))) {
        return false;
    }
    object_->SetClientSite(this);
    if (FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)))) {
        return false;
    }
    RECT place{};
    GetClientRect(pane_, &place);
    object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, pane_, &place);
    browser_->put_Silent(VARIANT_FALSE);
    browser_->put_Offline(VARIANT_FALSE);
    VARIANT medium;
    VariantInit(&medium);
    medium.vt = VT_I4;
    medium.lVal = 2;  // the middle one of the five text sizes
    browser_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &medium, nullptr);
    browser_->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active_));
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer,
                                           reinterpret_cast<void**>(&points)))) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_))) {
            events_->Advise(static_cast<IDispatch*>(this), &cookie_);
        }
        points->Release();
    }
    return true;
}

void browser_site::close() {
    if (events_ != nullptr) {
        events_->Unadvise(cookie_);
        events_->Release();
        events_ = nullptr;
    }
    if (active_ != nullptr) active_->Release();
    active_ = nullptr;
    if (browser_ != nullptr) browser_->Release();
    browser_ = nullptr;
    if (object_ != nullptr) {
        IOleInPlaceObject* in_place = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                              reinterpret_cast<void**>(&in_place)))) {
            in_place->InPlaceDeactivate();
            in_place->Release();
        }
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
}

browser_site* host_browser(HWND pane) {
    auto* site = new browser_site(pane);
    if (site->open()) return site;
    site->close();
    site->Release();
    return nullptr;
}

void close_browser(browser_site* site) {
    if (site == nullptr) return;
    site->close();
    site->Release();
}

void browser_navigate(browser_site& site, const std::string& address) {
    site.address_ = address;
    site.failed_ = false;
    if (site.browser_ == nullptr) return;
    BSTR url = SysAllocString(wide(address).c_str());
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = 0;
    VARIANT none;
    VariantInit(&none);
    site.browser_->Navigate(url, &flags, &none, &none, &none);
    SysFreeString(url);
}

void browser_reload(browser_site& site) {
    if (site.browser_ == nullptr) return;
    VARIANT_BOOL busy = VARIANT_FALSE;
    site.browser_->get_Busy(&busy);
    if (site.failed_ || busy != VARIANT_FALSE || FAILED(site.browser_->Refresh())) {
        if (site.address_.empty()) return;  // never given an address: nothing to ask for
        const std::string again = site.address_;
        browser_navigate(site, again);
    }
}

bool browser_shows_page(const browser_site& site) {
    return !site.address_.empty();
}

void browser_focus(browser_site& site) {
    if (site.object_ != nullptr) {
        RECT place{};
        GetClientRect(site.pane_, &place);
        site.object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, site.pane_, &place);
    }
    // The control may leave the focus where it was: give it to its window.
    HWND focus = GetFocus();
    if (focus != site.pane_ && IsChild(site.pane_, focus)) return;
    HWND inner = nullptr;
    if (site.active_ != nullptr && SUCCEEDED(site.active_->GetWindow(&inner)) && inner) {
        SetFocus(inner);
    } else if (GetFocus() != site.pane_) {
        SetFocus(site.pane_);
    }
}

HRESULT browser_translate(browser_site& site, MSG& msg) {
    return site.active_ != nullptr ? site.active_->TranslateAccelerator(&msg) : S_FALSE;
}

void win32_platform::navigate(handle pane, const std::string& address) {
    auto* o = find(pane);
    if (o != nullptr && o->site != nullptr) browser_navigate(*o->site, address);
}

void win32_platform::reload(handle pane) {
    auto* o = find(pane);
    if (o != nullptr && o->site != nullptr) browser_reload(*o->site);
}

LRESULT CALLBACK pane_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SETFOCUS) {
        // The pane itself holds nothing to type into: the page gets the focus.
        if (auto* backend = current_backend()) {
            if (auto* o = backend->owner_of(hwnd); o && o->hwnd == hwnd && o->site) {
                if (o->site->active_ != nullptr) {
                    HWND inner = nullptr;
                    if (SUCCEEDED(o->site->active_->GetWindow(&inner)) && inner) SetFocus(inner);
                }
            }
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// The user-interface thread hosts the browser control through OLE. A
// failure shows itself when the pane cannot be made, as the main window's
// creation failing; nothing here is reported.
std::optional<std::string> win32_platform::prepare_engine() {
    OleInitialize(nullptr);
    return std::nullopt;
}

void win32_platform::release_engine() {
    OleUninitialize();
}

}  // namespace tarvello::platform::win32
