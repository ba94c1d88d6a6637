// vaultcli's program unit with its entry point renamed, so that a harness can call
// it with argument vectors of its own.
#define main vaultcli_main
#include "main.cpp"
