#include "search_run.h"

int main() { return run_search(); }
