#include "editor/web_assets.h"

// The generated table (editor/embed_web_assets.cmake).
extern const WebAsset WEB_ASSETS[];
extern const size_t WEB_ASSET_COUNT;

const WebAsset* find_web_asset(const std::string& path)
{
    const std::string wanted = path == "/" ? "/index.html" : path;
    for (size_t i = 0; i < WEB_ASSET_COUNT; ++i)
        if (wanted == WEB_ASSETS[i].path)
            return &WEB_ASSETS[i];
    return nullptr;
}
