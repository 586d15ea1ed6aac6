# Turns the icon PNG and the description line into a C++ source file, so
# the executable carries its identity without reading any file at run time.
# Run as: cmake -DPNG=... -DDESCRIPTION=... -DOUT=... -P embed.cmake
file(READ "${PNG}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
file(STRINGS "${DESCRIPTION}" description LIMIT_COUNT 1 ENCODING UTF-8)
file(WRITE "${OUT}.tmp" "// Generated from resources/tarvello.png and resources/description.txt.\n"
    "#include \"resources/icon.h\"\n\n"
    "namespace tarvello::resources {\n"
    "namespace {\nconst unsigned char png[] = {${bytes}};\n}\n"
    "std::span<const unsigned char> icon_png() { return png; }\n"
    "std::string_view description() { return \"${description}\"; }\n"
    "}  // namespace tarvello::resources\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
