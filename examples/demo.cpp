#include <CommonUtility.h>
int main() { return 0; }
