// The local clock, read through one interface so that tests can fix it, and
// the date and time texts of the dialogue and the reports.
#pragma once

#include <ctime>
#include <string>

namespace quelbro {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::tm now() const = 0;
};

class SystemClock : public Clock {
 public:
  std::tm now() const override;
};

class FixedClock : public Clock {
 public:
  explicit FixedClock(std::tm t) : t_(t) {}
  FixedClock(int year, int month, int day, int hour, int minute, int second);
  std::tm now() const override { return t_; }

 private:
  std::tm t_;
};

std::string DATSTR(const Clock& clock);  // "08-Dec-26"
std::string TIMSTR(const Clock& clock);  // "10:30:00"

}  // namespace quelbro
