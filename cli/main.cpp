#include <qola/qola.h>

int main() { return 0; }
