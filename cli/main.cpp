// veskel-cli: decrypts, encrypts and checks document files from the shell.
#include "cli/commands.h"
#include "runtime/coredump.h"
#include "runtime/memory.h"

int main(int argc, char **argv)
{
    veskel::DisableCoreDumps(); // the text and the password never reach a core file
    veskel::WipeFreedMemory();
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    return veskel::cli::RunCli(arguments);
}
