// veskel-cli: decrypts, encrypts and checks document files from the shell.
#include "cli/commands.h"

int main(int argc, char **argv)
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    return veskel::cli::RunCli(arguments);
}
