// The program's exit statuses, every one of them: the help, the manual pages and README
// name exactly these.
#pragma once

namespace zevlon {

inline constexpr int kNavratUspech = 0;
inline constexpr int kNavratChyba = 1;
inline constexpr int kNavratZruseno = 2;
inline constexpr int kNavratBezZaznamu = 3;  // --stav: no run recorded, or none readable
inline constexpr int kNavratPouziti = 64;    // a mistake of the command line (EX_USAGE)

inline constexpr int kNavraty[] = {kNavratUspech, kNavratChyba, kNavratZruseno, kNavratBezZaznamu,
                                   kNavratPouziti};

}  // namespace zevlon
