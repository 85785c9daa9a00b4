// A fresh empty folder for one test's files, under $TMPDIR (or /tmp), removed with everything in
// it when the object goes away. path() is "" when the folder could not be made.
#pragma once

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return folder; }
    std::string file(const std::string& name) const { return folder + "/" + name; }

private:
    std::string folder;
};
