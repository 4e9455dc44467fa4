// Linked into every fuzz target. Runs allocate and free buffers of a file's
// size; filling each new allocation and keeping a large quarantine of freed
// ones (fresh pages every run) would cost more than the bounds checks.
extern "C" const char* __asan_default_options() { return "max_malloc_fill_size=0:quarantine_size_mb=8"; }
