// Does nothing: the tests read the version note the build stamps on it.
int main() { return 0; }
