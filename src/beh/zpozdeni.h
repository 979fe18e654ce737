// The random delay before a scheduled run (`Zevlon --zpozdeni N`), so that the machines of
// an office, each with the same schedule, spread over the time instead of calling the site
// at one minute.
#pragma once

namespace zevlon {

// Waits a random time from 0 to `minut` minutes (whole seconds, evenly spread); holds
// nothing meanwhile.
void PockatNahodne(int minut);

}  // namespace zevlon
