// Edition constants, chosen by the BRAXEN_EDITION_PB definition.
#include "engine/edition.h"

#ifdef BRAXEN_EDITION_PB
const char editionName[] = "BRAXEN Veldmark 2007 SP";
const char editionGameFile[] = "BraxenSPVM07.pgn";
const char editionLearnFile[] = "BraxenSPVM07.lrn";
const uint32_t editionOptionWord = 0xBA24FC83;  // Optimistic and Extend Search off
const bool editionHasSharpenPv = false;
#else
const char editionName[] = "BRAXEN 12 SP";
const char editionGameFile[] = "B12SP.pgn";
const char editionLearnFile[] = "BRAXEN12SP.lrn";
const uint32_t editionOptionWord = 0xBB24FC93;
const bool editionHasSharpenPv = true;
#endif
const char editionBookFile[] = "B12SPBook.bxk";
