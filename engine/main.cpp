// Program entry of both editions.
#include "engine/uci.h"

int main() { return EngineMain(); }
