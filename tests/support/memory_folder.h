// A drive folder in memory, for tests and fuzzing: a small tree of files,
// folders and symbolic links, of which one folder is the drive's root. The
// rest of the tree lies outside the drive, so a test can see whether the
// drive reached it.
//
// Paths name nodes from the top of the tree, parts joined by "/" ("disk",
// "disk/Sub/A.PRI"). A link's target starting with "/" is taken from the
// top, any other from the link's own folder; ".." goes up.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devices/drive_folder.h"

class memory_folder final : public drive_folder {
public:
    struct node {
        enum kind_t { FILE, FOLDER, LINK } kind = FILE;
        std::shared_ptr<std::string> bytes;   // a file's contents, shared with its open files
        std::string target;                   // a link's
        bool operator==(const node& o) const
        {
            return kind == o.kind && target == o.target && (kind != FILE || *bytes == *o.bytes);
        }
    };
    using tree = std::map<std::string, node, std::less<>>;

    // The root folder is made when it is missing.
    explicit memory_folder(std::string root);

    void put_file(const std::string& path, const std::string& bytes);
    void put_folder(const std::string& path);
    void put_link(const std::string& path, const std::string& target);
    // A file's contents, or "" when there is none.
    std::string file(const std::string& path) const;
    // The names in a folder, sorted.
    std::vector<std::string> names_in(const std::string& path) const;
    const tree& nodes() const { return nodes_; }
    // Whether anything was made, written, renamed or removed, or another
    // folder entered, since mark_untouched.
    bool touched() const { return changes_ != untouched_ || current_ != root_; }
    void mark_untouched() { untouched_ = changes_; }

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

    // The path with every link followed ("" is the top), or "\n" when a
    // part is missing or links lead round in a ring.
    std::string resolve(std::string_view path) const;
    const node* at(const std::string& resolved) const;
    // The current folder resolved, or "\n" when it is no folder; kept until
    // the tree or the current folder changes.
    const std::string& here();
    // Where the entry name of a resolved folder leads.
    std::string follow(const std::string& folder, const std::string& name) const;

    tree nodes_;
    std::string root_, current_;
    unsigned changes_ = 0, untouched_ = 0;
    std::string here_, here_for_;
    unsigned here_changes_ = ~0u;
};
