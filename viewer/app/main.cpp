#include "app/run_viewer.h"

int main(int argc, char** argv) { app::run_viewer(argc, argv); }
