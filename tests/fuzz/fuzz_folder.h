// A drive folder in memory for the bus and drive fuzz targets, with a file
// and a folder beside it that no name from the machine may reach, and links
// leading to them. Every run starts on a fresh folder (the last one again
// when the run left it as it was) and checks in the end that nothing
// outside it changed or appeared.
#pragma once
#include <memory>
#include <string>

#include "devices/diskfs.h"
#include "support/memory_folder.h"

namespace fuzz_folder {

inline void put_outside(memory_folder& tree)
{
    tree.put_file("SECRET.PRI", "secret");
    tree.put_folder("outside");
}

// The folder the drive holds.
inline memory_folder*& current()
{
    static memory_folder* folder = nullptr;
    return folder;
}

// Gives the drive a fresh folder "disk" with a program, a data file, a
// subfolder and links out (to a file, to a missing file, to a folder, up).
inline void renew()
{
    auto tree = std::make_unique<memory_folder>("disk");
    put_outside(*tree);
    tree->put_folder("disk/Sub");
    tree->put_file("disk/GAME.PRI", std::string("\xD9\x00\x50\x02\x00" "ab\xC9", 8));
    tree->put_file("disk/notes.seq", "hello");
    tree->put_file("disk/Sub/INNER.SEQ", "inner");
    tree->put_link("disk/LINK.PRI", "/SECRET.PRI");
    tree->put_link("disk/DANGLING.PRI", "/gone.PRI");
    tree->put_link("disk/OUT", "/outside");
    tree->put_link("disk/Sub/UP.PRI", "../../SECRET.PRI");
    tree->mark_untouched();
    current() = tree.get();
    iec_init_folder(std::move(tree));
}

// Starts a run.
inline void prepare()
{
    if (!current()) renew();
}

// Ends a run: stops it when anything outside the drive folder changed, and
// gives the next run a fresh folder when this one changed its own. Doing
// that here keeps the allocations of a run and its frees in step, which
// spares libFuzzer's leak search.
inline void finish()
{
    drive_reset();
    static const memory_folder::tree expected = [] {
        memory_folder tree("disk");
        put_outside(tree);
        memory_folder::tree nodes = tree.nodes();
        nodes.erase("disk");
        return nodes;
    }();
    memory_folder::tree outside;
    for (const auto& [path, node] : current()->nodes())
        if (path != "disk" && path.rfind("disk/", 0) != 0) outside.emplace(path, node);
    if (outside != expected) __builtin_trap();
    if (current()->touched()) renew();
}

}  // namespace fuzz_folder
