// Entry points of the braxen-tool subcommands; argv[0] is the subcommand.
#pragma once

int perftCommand(int argc, char** argv);
int matchCommand(int argc, char** argv);
int bookCommand(int argc, char** argv);
// braxen-tool tb SUBCOMMAND: endgame tables.
int tbCommand(int argc, char** argv);
int tbProbeCommand(int argc, char** argv);
int tbVerifyCommand(int argc, char** argv);
int tbGenerateCommand(int argc, char** argv);
int tbInfoCommand(int argc, char** argv);
int tbCompressCommand(int argc, char** argv);
int tbDecodeCommand(int argc, char** argv);
int tbBenchCommand(int argc, char** argv);
// Writes NAME.nbw.emd (and .nbb.emd, parts) beside the table files of a
// class in dir; existing compressed files are kept unless replace is set.
bool tbCompressClassFiles(const char* dir, const char* className, bool replace);
int bookProbeCommand(int argc, char** argv);
int epdCommand(int argc, char** argv);
