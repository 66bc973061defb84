// Date and time texts from the local clock.
#include "console/clock.h"

#include <cstdio>

namespace quelbro {

std::tm SystemClock::now() const {
  std::time_t t = std::time(nullptr);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

FixedClock::FixedClock(int year, int month, int day, int hour, int minute, int second) : t_{} {
  t_.tm_year = year - 1900;
  t_.tm_mon = month - 1;
  t_.tm_mday = day;
  t_.tm_hour = hour;
  t_.tm_min = minute;
  t_.tm_sec = second;
}

std::string DATSTR(const Clock& clock) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm t = clock.now();
  int year = t.tm_year + 1900;
  int yy = year < 2000 ? year - 1900 : year - 2000;
  int mon = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d-%s-%02d", t.tm_mday % 100, kMonths[mon], ((yy % 100) + 100) % 100);
  return buf;
}

std::string TIMSTR(const Clock& clock) {
  std::tm t = clock.now();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour % 100, t.tm_min % 100, t.tm_sec % 100);
  return buf;
}

}  // namespace quelbro
