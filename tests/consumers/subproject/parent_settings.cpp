// The parent's own library called settings, whose name the package must not take.
int parentSettings() { return 0; }
