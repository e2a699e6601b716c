// Program entry (placeholder until the windows exist).
int main() { return 0; }
