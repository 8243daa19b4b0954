#include "report.h"

int main() { return reportSettings(); }
