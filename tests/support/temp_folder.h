// A fresh empty folder for one test's files, under $TMPDIR (or /tmp), removed with everything in
// it when the object goes away. path() is "" when the folder could not be made.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

class TempFolder {
public:
    TempFolder()
    {
        std::error_code ignored;
        std::string name = (std::filesystem::temp_directory_path(ignored) / "vordel-test-XXXXXX").string();
        if (mkdtemp(name.data()) != nullptr)
            folder = name;
    }
    ~TempFolder()
    {
        std::error_code ignored;  // also when there is no folder to remove
        std::filesystem::remove_all(folder, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return folder; }
    std::string file(const std::string& name) const { return folder + "/" + name; }

private:
    std::string folder;
};
