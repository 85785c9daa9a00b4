#include "temp_folder.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

TempFolder::TempFolder()
{
    const char* base = std::getenv("TMPDIR");
    const std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/vordel-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) != nullptr)
        folder = name.data();
}

TempFolder::~TempFolder()
{
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}
