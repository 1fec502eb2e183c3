#include "cli/run.h"

int main(int argc, char** argv) { return jrn::jrnscan_main(argc, argv); }
