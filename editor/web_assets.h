// The editor page's files, embedded in the program at build time so that it serves them from any
// folder with nothing beside it. The table is fixed: a request's path is only ever looked up in
// it, never turned into a file name.
//
// The list of embedded files is in editor/CMakeLists.txt; the bytes live in static storage.
#pragma once

#include <cstddef>
#include <string>

struct WebAsset {
    const char* path;  // "/index.html", "/main.js", ...
    const char* content_type;
    const unsigned char* bytes;
    size_t size;
};

// The file served at `path` ("/" is "/index.html"), or null.
const WebAsset* find_web_asset(const std::string& path);
