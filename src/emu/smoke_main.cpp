// brevan-smoke: runs a small built-in Z80 program headlessly (being written).
int main() { return 0; }
