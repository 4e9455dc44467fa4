// The folder the drive's DOS keeps its files in: a host folder for the
// program (host_folder), a tree in memory for tests and fuzzing
// (tests/support/memory_folder.h). The drive sees one current folder
// below the folder it was given, its root.
//
// The jail lives here, in the public calls, so that every kind of folder
// keeps it: a name is one plain name of the current folder (no "/", "\",
// "..", NUL, nothing empty), a link counts only when it leads inside (a
// file into the current folder, a folder below the root), and only
// regular files are read, written, renamed or removed.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a name of the current folder is.
struct drive_entry {
    bool exists = false;      // the name is there, as a link wherever it leads
    bool removable = false;   // the entry itself is a regular file or a link
    bool file = false;        // it leads, links followed, to a regular file inside the current folder
    bool folder = false;      // it leads to a folder below the root
    uint64_t size = 0;        // of that file
};

// An open file of the folder.
class drive_file {
public:
    virtual ~drive_file() = default;
    // The next byte, or -1 at the end.
    virtual int get() = 0;
    // Returns false when the byte could not be written.
    virtual bool put(uint8_t value) = 0;
};

class drive_folder {
public:
    virtual ~drive_folder() = default;

    // Whether the current folder is there.
    virtual bool available() = 0;
    // The names in the current folder, in no particular order.
    virtual std::vector<std::string> list() = 0;
    // An empty entry for a name that is not plain.
    drive_entry stat(const std::string& name);
    // mode 'r' reads a file, 'w' makes or empties one, 'a' appends to one.
    // Returns null when the name may not be used so or the file cannot be opened.
    std::unique_ptr<drive_file> open(const std::string& name, char mode);
    // Returns true when the file (or link) now has the new name, which was free.
    bool rename(const std::string& from, const std::string& to);
    // Returns true when the file (or link) is gone.
    bool remove(const std::string& name);
    // Makes a folder below the root the current one; returns false (and
    // stays) when the name is no such folder.
    bool enter(const std::string& name);
    // Back to the root, when it is still there.
    virtual void enter_root() = 0;
    // The current folder's own name, for the disk title.
    virtual std::string title() = 0;
    // The current folder as the host names it.
    virtual std::string path() = 0;

protected:
    // The calls the checks above lead to; names are plain and checked.
    virtual drive_entry find(const std::string& name) = 0;
    virtual std::unique_ptr<drive_file> open_checked(const std::string& name, char mode) = 0;
    virtual bool rename_checked(const std::string& from, const std::string& to) = 0;
    virtual bool remove_checked(const std::string& name) = 0;
    virtual void enter_checked(const std::string& name) = 0;
};

// A folder of the host, through std::filesystem and stdio.
class host_folder final : public drive_folder {
public:
    explicit host_folder(std::string root);
    bool available() override;
    std::vector<std::string> list() override;
    void enter_root() override;
    std::string title() override;
    std::string path() override { return current_; }

private:
    drive_entry find(const std::string& name) override;
    std::unique_ptr<drive_file> open_checked(const std::string& name, char mode) override;
    bool rename_checked(const std::string& from, const std::string& to) override;
    bool remove_checked(const std::string& name) override;
    void enter_checked(const std::string& name) override;

    std::string root_, current_;
};
