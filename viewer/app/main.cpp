#include "app/run_viewer.h"

int main(int argc, char** argv) { run_viewer(argc, argv); }
