# The Windows build, included by the top-level CMakeLists.txt instead of the
# GTK backend: the Win32 backend, tarvello.exe with its resources, linked
# statically so that it needs only the system's DLLs, and its tests.
enable_language(RC)

add_library(tarvello_platform STATIC
    platform/win32/window.cpp
    platform/win32/controls.cpp
    platform/win32/label.cpp
    platform/win32/browser_pane.cpp
    platform/win32/timer.cpp
    platform/win32/event_loop.cpp
    platform/win32/message_box.cpp)
target_compile_definitions(tarvello_platform PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(tarvello_platform PUBLIC tarvello_logic ole32 oleaut32 uuid
    PRIVATE tarvello_warnings)

# The version block takes its description from resources/description.txt.
file(STRINGS "${CMAKE_CURRENT_SOURCE_DIR}/resources/description.txt" description
    ENCODING UTF-8 LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS resources/description.txt)
file(CONFIGURE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/generated/description.h"
    CONTENT "// Generated from resources/description.txt.\n#define TARVELLO_DESCRIPTION \"@description@\"\n"
    @ONLY)

# The resources on their own: the C++ warning flags mean nothing to windres.
add_library(tarvello_resources OBJECT resources/tarvello.rc)
target_include_directories(tarvello_resources PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/resources"
    "${CMAKE_CURRENT_BINARY_DIR}/generated")
set_source_files_properties(resources/tarvello.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/resources/tarvello.ico")

# A GUI-subsystem program: no console window.
add_executable(tarvello WIN32 shell/main.cpp $<TARGET_OBJECTS:tarvello_resources>)
target_link_libraries(tarvello PRIVATE tarvello_platform tarvello_logic tarvello_warnings)
target_link_options(tarvello PRIVATE -static)

if(TARVELLO_BUILD_TESTS)
    enable_testing()
    add_subdirectory(tests/windows)
endif()
