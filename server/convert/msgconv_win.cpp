// The message converter program: the console shell runs the converter's
// main operation (server, one-shot or page header mode, see msgconv.h).
#include "server/convert/msgconv.h"
#include "server/runtime/console.h"

int main(int argc, char **argv) { return ConsoleMain(argc, argv, CONVERTER_ID, nullptr, ConverterMain); }
