// TEMPORARY: start-up lands with the console adapter.
int main() { return 1; }
