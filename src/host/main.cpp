// brevan: the desktop program (being written).
int main() { return 0; }
