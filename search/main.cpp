#include "search_run.h"

int main() { return search::run_search(); }
