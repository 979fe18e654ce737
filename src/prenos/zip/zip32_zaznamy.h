// The records and callback types of our Info-ZIP-style zip layer: the zip options
// (ZPOPT), the zip user functions (ZIPUSERFUNCTIONS), the zip command line (ZCL), the
// unzip options (DCLIST), the unzip user functions (USERFUNCTION) and the unzip version
// record (UZPVER2), with the return codes and callback answers of both halves. Field
// names are the Info-ZIP ones, so that code written against that interface reads the
// same here. Texts are UTF-8 and paths native ("/"), so no code-page conversion is
// needed before a record is handed over.
#pragma once

#include <cstdint>

namespace zevlon::zip32 {

// ---------------------------------------------------------------------------------
// Return codes of ZpArchive (the zip half).
// ---------------------------------------------------------------------------------
inline constexpr int ZE_OK = 0;      // success
inline constexpr int ZE_FORM = 3;    // the existing archive is not a zip or is damaged
inline constexpr int ZE_MEM = 4;     // out of memory
inline constexpr int ZE_LOGIC = 5;   // internal error of the layer
inline constexpr int ZE_ABORT = 9;   // the service callback asked to stop
inline constexpr int ZE_NONE = 12;   // nothing to do: no name matched, nothing new
inline constexpr int ZE_WRITE = 14;  // writing the archive failed
inline constexpr int ZE_CREAT = 15;  // the archive could not be created or replaced
inline constexpr int ZE_PARMS = 16;  // bad or missing parameters, options not supported
inline constexpr int ZE_OPEN = 18;   // a file to be added could not be opened or read

// ---------------------------------------------------------------------------------
// Return codes of Wiz_SingleEntryUnzip (the unzip half).
// ---------------------------------------------------------------------------------
inline constexpr int PK_OK = 0;       // success
inline constexpr int PK_WARN = 1;     // warning: empty archive, some entries skipped
inline constexpr int PK_ERR = 2;      // an entry could not be read (CRC, bad data)
inline constexpr int PK_BADERR = 3;   // archive refused: unsafe entry path or link, damage
inline constexpr int PK_MEM = 4;      // out of memory
inline constexpr int PK_NOZIP = 9;    // archive missing, unreadable or not a zip
inline constexpr int PK_PARAM = 10;   // bad parameters or options not supported
inline constexpr int PK_FIND = 11;    // the selection matched no entry
inline constexpr int PK_DISK = 50;    // a file or folder could not be written
inline constexpr int IZ_CTRLC = 80;   // the service callback asked to stop
inline constexpr int IZ_BADPWD = 82;  // no file extracted because no password fitted

// Answers of the unzip replace callback.
inline constexpr int IDM_REPLACE_NO = 100;    // keep this file
inline constexpr int IDM_REPLACE_YES = 102;   // replace this file
inline constexpr int IDM_REPLACE_ALL = 103;   // replace this and every later file unasked
inline constexpr int IDM_REPLACE_NONE = 104;  // keep this and every later file unasked

// Answers of the unzip password callback (anything else than the two below skips
// the one entry).
inline constexpr int IZ_PW_ENTERED = 0;     // the buffer holds a password
inline constexpr int IZ_PW_CANCELALL = -2;  // skip every further encrypted entry

// Size of the buffer handed to a password callback: up to 256 characters and a zero.
inline constexpr int kDelkaBufferuHesla = 257;

// ---------------------------------------------------------------------------------
// Zip half.
// ---------------------------------------------------------------------------------

// Print: a message of size bytes (not zero-terminated); the answer is not used.
using DLLPRNT = int (*)(char* buf, unsigned long size);
// Comment: buf holds the archive's present comment (zero-terminated, room for 65536
// bytes); the answer is the new comment (buf itself may be written and returned).
using DLLCOMMENT = char* (*)(char* buf);
// Password: write the password, zero-terminated, into buf of size bytes; answer 0
// when a password was written, anything else to decline.
using DLLPASSWORD = int (*)(char* buf, int size, const char* prompt, const char* name);
// Service: called before each entry is added with its name and size; a non-zero
// answer stops the operation (ZE_ABORT).
using DLLSERVICE = int (*)(const char* name, std::uint64_t size);

struct ZIPUSERFUNCTIONS {
  DLLPRNT print = nullptr;  // required
  DLLCOMMENT comment = nullptr;
  DLLPASSWORD password = nullptr;  // required when fEncrypt is set
  DLLSERVICE ServiceApplication = nullptr;
};

// Zip options. Flags are 0 or 1. Fields marked "no effect" are accepted and ignored;
// fields marked "refused" make ZpArchive answer ZE_PARMS when set.
struct ZPOPT {
  const char* Date = nullptr;       // refused when fExcludeDate or fIncludeDate is set
  const char* szRootDir = nullptr;  // names are stored relative to this folder
  const char* szTempDir = nullptr;  // no effect: the archive is staged beside itself
  int fTemp = 0;                    // no effect (see szTempDir)
  int fSuffix = 0;                  // no effect
  int fEncrypt = 0;                 // encrypt every file with the password callback's answer
  int fSystem = 0;                  // take hidden files (".name") when expanding folders
  int fVolume = 0;                  // no effect
  int fExtra = 0;                   // leave out the extended time stamp field
  int fNoDirEntries = 0;            // do not store folder entries
  int fExcludeDate = 0;             // refused
  int fIncludeDate = 0;             // refused
  int fVerbose = 0;                 // no effect
  int fQuiet = 0;                   // no messages through the print callback
  int fCRLF_LF = 0;                 // refused
  int fLF_CRLF = 0;                 // refused
  int fJunkDir = 0;                 // store bare file names, no folders
  int fGrow = 0;                    // no effect: an existing archive can always grow
  int fForce = 0;                   // no effect
  int fMove = 0;                    // refused
  int fDeleteEntries = 0;           // refused
  int fUpdate = 0;                  // add new names; replace an entry only by a newer file
  int fFreshen = 0;                 // replace entries by newer files; add nothing new
  int fJunkSFX = 0;                 // no effect
  int fLatestTime = 0;              // no effect
  int fComment = 0;                 // ask the comment callback for the archive comment
  int fOffsets = 0;                 // no effect
  int fPrivilege = 0;               // no effect
  int fEncryption = 0;              // read only: 1 in ZpGetOptions, encryption is built in
  int fRecurse = 0;                 // 1 or 2: a named folder is taken with all its content
  int fRepair = 0;                  // refused
  char fLevel = 0;                  // '0' stored, '1'..'9' deflate level; else default
};

// The names to add: argc names in FNV (relative ones are read from szRootDir; the
// last component may hold "*" and "?"), and the archive to write or update.
struct ZCL {
  int argc = 0;
  const char* lpszZipFN = nullptr;
  const char* const* FNV = nullptr;
};

// ---------------------------------------------------------------------------------
// Unzip half.
// ---------------------------------------------------------------------------------

using DLLSND = void (*)();
// Replace: asked before an existing file is replaced; name holds its path in a
// buffer of size bytes. Answers IDM_REPLACE_*; anything else keeps the file.
using DLLREPLACE = int (*)(char* name, unsigned size);
// Listing line of one entry (nvflag): sizes, compression percentage, date and time
// of the entry (month, day, two-digit year, hour, minute), a flag character, name,
// method, CRC and 'E' for an encrypted entry (else ' ').
using DLLMESSAGE = void (*)(std::uint64_t ucsize, std::uint64_t csiz, unsigned cfactor, unsigned mo,
                            unsigned dy, unsigned yr, unsigned hh, unsigned mm, char c,
                            const char* filename, const char* methbuf, unsigned long crc,
                            char fCrypt);
// Service: called before each entry with its name and size; non-zero stops (IZ_CTRLC).
using DLLUNZIPSERVICE = int (*)(const char* name, std::uint64_t size);

struct USERFUNCTION {
  DLLPRNT print = nullptr;
  DLLSND sound = nullptr;  // never called: there is nothing to ring
  DLLREPLACE replace = nullptr;
  DLLPASSWORD password = nullptr;
  DLLMESSAGE SendApplicationMessage = nullptr;
  DLLUNZIPSERVICE ServCallBk = nullptr;
  // Filled in by Wiz_SingleEntryUnzip: totals of the selected entries.
  std::uint64_t TotalSizeComp = 0;
  std::uint64_t TotalSize = 0;
  unsigned CompFactor = 0;  // percentage saved by compression
  unsigned NumMembers = 0;
};

// Unzip options, in the Info-ZIP order. Fields marked "refused" make the call answer
// PK_PARAM when set.
struct DCLIST {
  int ExtractOnlyNewer = 0;          // extract a file only when newer than the one on disk
  int SpaceToUnderscore = 0;         // blanks in names become "_"
  int PromptToOverwrite = 0;         // ask the replace callback even when noflag is set
  int fQuiet = 0;                    // 0 all messages, 1 fewer, 2 none
  int ncflag = 0;                    // refused (extraction to standard output)
  int ntflag = 0;                    // test the archive: read every entry, write nothing
  int nvflag = 0;                    // list the entries through the message callback
  int nfflag = 0;                    // freshen: replace existing files by newer ones only
  int nzflag = 0;                    // show the archive comment through print, nothing else
  int ndflag = 0;                    // 0 junk folders (bare names), else recreate them
  int noflag = 0;                    // replace existing files without asking
  int naflag = 0;                    // refused (text line-end conversion)
  int nZIflag = 0;                   // refused (zipinfo listing)
  int C_flag = 0;                    // no effect: selection patterns ignore letter case anyway
  int fPrivilege = 0;                // no effect: there are no ACLs to restore
  const char* Zip = nullptr;         // the archive
  const char* ExtractDir = nullptr;  // target folder; empty or null: the current folder
  // Our own additions, for unpacking one file of a package: with fExactNames the
  // selection names are paths taken exactly (letter case included), not patterns, and
  // a selected entry that is a folder or declares more than MaxSize bytes (with
  // fExactSize: any other number) refuses the archive; one that unpacks to more is not
  // written.
  int fExactNames = 0;
  std::uint64_t MaxSize = 0;
  int fExactSize = 0;
};

// Version of the layer. structlen tells how many bytes of the record the caller
// has: only fields that lie wholly within it are filled.
struct UZPVER2 {
  std::uint32_t structlen = 0;
  std::uint32_t flag = 0;  // bit 0 beta, bit 1 uses zlib
  char beta[10] = {};
  char date[20] = {};
  char zlib[10] = {};
  std::int32_t fEncryption = 0;
  std::uint8_t unzip[4] = {};  // major, minor, patch level, unused
  std::uint8_t zipinfo[4] = {};
  std::uint8_t os2dll[4] = {};
  std::uint8_t windll[4] = {};
  std::uint8_t dllapimin[4] = {};
};

}  // namespace zevlon::zip32
