// The program of the per-layer link checks: linked with the whole of one
// layer's library and only the layers below it, it links only when that
// layer calls nothing above it.
int main() { return 0; }
