// The floor of start-up cost: a C++ program that does nothing.
int main() {}
