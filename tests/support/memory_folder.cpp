#include "support/memory_folder.h"

#include <algorithm>

namespace {

const std::string none = "\n";   // the resolved path of nothing: no path holds a newline

std::string joined(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

// Strictly below folder; everything but the top is below the top.
bool below(const std::string& path, const std::string& folder)
{
    return folder.empty() ? !path.empty() : path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                                                path[folder.size()] == '/';
}

class memory_file final : public drive_file {
public:
    memory_file(std::shared_ptr<std::string> bytes, bool writing)
        : bytes_(std::move(bytes)), writing_(writing) {}
    int get() override { return !writing_ && at_ < bytes_->size() ? static_cast<uint8_t>((*bytes_)[at_++]) : -1; }
    bool put(uint8_t value) override
    {
        if (!writing_) return false;
        bytes_->push_back(static_cast<char>(value));
        return true;
    }

private:
    std::shared_ptr<std::string> bytes_;
    bool writing_;
    size_t at_ = 0;
};

}  // namespace

memory_folder::memory_folder(std::string root) : root_(root), current_(std::move(root))
{
    put_folder(root_);
}

void memory_folder::put_file(const std::string& path, const std::string& bytes)
{
    nodes_[path] = node{node::FILE, std::make_shared<std::string>(bytes), ""};
    ++changes_;
}

void memory_folder::put_folder(const std::string& path)
{
    nodes_[path] = node{node::FOLDER, nullptr, ""};
    ++changes_;
}

void memory_folder::put_link(const std::string& path, const std::string& target)
{
    nodes_[path] = node{node::LINK, nullptr, target};
    ++changes_;
}

std::string memory_folder::file(const std::string& path) const
{
    const auto it = nodes_.find(path);
    return it != nodes_.end() && it->second.kind == node::FILE ? *it->second.bytes : std::string();
}

std::vector<std::string> memory_folder::names_in(const std::string& path) const
{
    std::vector<std::string> names;
    const std::string prefix = path.empty() ? "" : path + "/";
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
         ++it) {
        const std::string rest = it->first.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos) names.push_back(rest);
    }
    return names;   // the map keeps them sorted
}

std::string memory_folder::resolve(std::string_view path) const
{
    std::string done;
    std::vector<std::string_view> todo;      // the parts still to walk, the next one last
    auto push_parts = [&todo](std::string_view text) {
        const size_t first = todo.size();
        for (size_t at = 0; at <= text.size();) {
            const size_t slash = std::min(text.find('/', at), text.size());
            todo.push_back(text.substr(at, slash - at));
            at = slash + 1;
        }
        std::reverse(todo.begin() + static_cast<long>(first), todo.end());
    };
    push_parts(path);
    int links = 0;
    while (!todo.empty()) {
        const std::string_view part = todo.back();
        todo.pop_back();
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            const size_t slash = done.rfind('/');
            done.resize(slash == std::string::npos ? 0 : slash);
            continue;
        }
        const size_t before = done.size();
        if (!done.empty()) done += '/';
        done += part;
        const node* n = at(done);
        if (!n) return none;
        if (n->kind == node::LINK) {
            if (++links > 16) return none;
            done.resize(before);
            if (!n->target.empty() && n->target[0] == '/') done.clear();
            push_parts(n->target);
        } else if (n->kind == node::FILE && !todo.empty()) {
            return none;
        }
    }
    return done;
}

const memory_folder::node* memory_folder::at(const std::string& resolved) const
{
    static const node top{node::FOLDER, nullptr, ""};
    if (resolved.empty()) return &top;
    const auto it = nodes_.find(resolved);
    return it == nodes_.end() ? nullptr : &it->second;
}

const std::string& memory_folder::here()
{
    if (here_changes_ != changes_ || here_for_ != current_) {
        here_ = resolve(current_);
        const node* n = at(here_);
        if (!n || n->kind != node::FOLDER) here_ = none;
        here_changes_ = changes_;
        here_for_ = current_;
    }
    return here_;
}

std::string memory_folder::follow(const std::string& folder, const std::string& name) const
{
    const std::string own = joined(folder, name);
    const node* n = at(own);
    if (!n || n->kind != node::LINK) return own;
    return resolve(n->target[0] == '/' ? std::string_view(n->target) : joined(folder, n->target));
}

bool memory_folder::available() { return here() != none; }

std::vector<std::string> memory_folder::list() { return available() ? names_in(here()) : std::vector<std::string>{}; }

drive_entry memory_folder::find(const std::string& name)
{
    drive_entry e;
    if (!available()) return e;
    const std::string& folder = here();
    const node* own = at(joined(folder, name));
    e.exists = own != nullptr;
    if (!own) return e;
    e.removable = own->kind != node::FOLDER;
    const std::string target = follow(folder, name);
    if (const node* n = at(target)) {
        e.file = n->kind == node::FILE && below(target, folder);
        e.folder = n->kind == node::FOLDER && below(target, resolve(root_));
        if (e.file) e.size = n->bytes->size();
    }
    return e;
}

std::unique_ptr<drive_file> memory_folder::open_checked(const std::string& name, char mode)
{
    const std::string own = joined(here(), name);
    auto it = nodes_.find(follow(here(), name));
    if (it == nodes_.end()) {   // a new name
        if (mode == 'r') return nullptr;
        put_file(own, "");
        it = nodes_.find(own);
    }
    if (mode != 'r') ++changes_;
    if (mode == 'w') it->second.bytes->clear();
    return std::make_unique<memory_file>(it->second.bytes, mode != 'r');
}

bool memory_folder::rename_checked(const std::string& from, const std::string& to)
{
    const std::string folder = here();
    auto it = nodes_.find(joined(folder, from));
    if (it == nodes_.end()) return false;
    const node moved = it->second;
    nodes_.erase(it);
    nodes_[joined(folder, to)] = moved;
    ++changes_;
    return true;
}

bool memory_folder::remove_checked(const std::string& name)
{
    ++changes_;
    return nodes_.erase(joined(here(), name)) > 0;
}

void memory_folder::enter_checked(const std::string& name) { current_ = joined(current_, name); }

void memory_folder::enter_root()
{
    const node* n = at(resolve(root_));
    if (n && n->kind == node::FOLDER) current_ = root_;
}

std::string memory_folder::title()
{
    const size_t slash = current_.rfind('/');
    return slash == std::string::npos ? current_ : current_.substr(slash + 1);
}
