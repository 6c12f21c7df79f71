#include "apps/cli/cli_host.h"

int main(int argc, char** argv) { return ondu::cli::runMain(argc, argv); }
