// Entry points of the braxen-tool subcommands; argv[0] is the subcommand.
#pragma once

int perftCommand(int argc, char** argv);
int matchCommand(int argc, char** argv);
int bookCommand(int argc, char** argv);
int bookProbeCommand(int argc, char** argv);
int epdCommand(int argc, char** argv);
