// Our zip and unzip "library": the Info-ZIP-style calls that mZip32 drives, built on
// libzip and linked into the program (nothing is loaded at run time). The calls keep
// process-wide state (the registered callbacks and options) as the Info-ZIP
// libraries do, run on the caller's thread, never throw and report failures only by
// their return codes (zip32_zaznamy.h).
//
// Archives written here carry, for every entry, the DOS date and time in local time
// and the extended time stamp field (0x5455) with the UTC modification time, as
// Info-ZIP zip writes them; unpacking takes the UTC time from that field when an
// entry has it and otherwise reads the DOS time as local time.
#pragma once

#include "prenos/zip/zip32_zaznamy.h"

namespace zevlon::zip32 {

// Registers the zip callbacks; answers 1, or 0 (nothing registered) without print.
int ZpInit(const ZIPUSERFUNCTIONS* funkce);

// Takes a copy of the zip options (texts included) for the next ZpArchive; answers 1.
int ZpSetOptions(const ZPOPT* volby);

// The options in force; their texts stay valid until the next ZpSetOptions.
ZPOPT ZpGetOptions();

// Adds the named files and folders to the archive (created when missing) and answers
// ZE_*. Each name is a file, a folder (taken whole when fRecurse is set, else as a
// folder entry) or a pattern in its last component. A name inside szRootDir is
// stored relative to it; another absolute name without its leading "/"; with
// fJunkDir only the bare file name. Names that match nothing are reported through
// print and skipped; ZE_NONE when nothing at all was added. Without fUpdate or
// fFreshen an entry of the same name is replaced. The archive is written to a
// temporary file and renamed into place: on any failure it is left as it was.
int ZpArchive(ZCL c);

// Fills the version record as far as structlen reaches; answers 0, or the size of
// the whole record when structlen is smaller.
int UzpVersion2(UZPVER2* verze);

// Extracts (or tests, or lists) the entries of dcl->Zip that match ifnv (all of them
// when ifnc is 0) and none of xfnv, and answers PK_*. Before anything is written
// every entry of the archive is checked: an absolute path, a path that climbs out of
// the target folder with "..", or a symbolic link refuses the whole archive
// (PK_BADERR) and nothing is written. Every file is written to a temporary name in
// its own folder and renamed into place only when complete, with its modification
// time and permission bits (at most 0777; 0644 when the archive has none). The
// totals of the selected entries are written into *funkce.
int Wiz_SingleEntryUnzip(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv,
                         const DCLIST* dcl, USERFUNCTION* funkce);

}  // namespace zevlon::zip32
