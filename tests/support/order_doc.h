// Order documents for the tests: "c" header records of 280 and "p" item records of 145
// Windows-1250 bytes, each field at its position (counted from 1), built from UTF-8 texts.
#pragma once

#include <string>
#include <vector>

#include "platform/text/codepage.h"

namespace testutil {

inline std::string w1250(const std::string& utf8) {
  return xbase::CodePage::cp1250().from_utf8(utf8);
}

inline void place(std::string& record, size_t position, const std::string& bytes) {
  record.replace(position - 1, bytes.size(), bytes);
}

inline std::string right(const std::string& s, size_t width) {
  return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
}

struct OrderHeader {
  std::string czak, date = "2024-05-17", jmeno = "Jan", prijmeni = "Novák", nazd;
  std::string uld = "Dlouhá 5", mist = "Plzeň", psc = "301 00", nstat = "CZ";
  std::string tel = "+420 777 12345", email = "jan@example.cz", ico, regc = "CZ99887766";
  std::string bytes() const {
    std::string r = "c" + std::string(279, ' ');
    place(r, 3, right(czak, 10));
    place(r, 13, date);
    place(r, 33, w1250(jmeno));
    place(r, 53, w1250(prijmeni));
    place(r, 83, w1250(nazd));
    place(r, 113, w1250(uld));
    place(r, 143, w1250(mist));
    place(r, 163, psc);
    place(r, 169, nstat);
    place(r, 172, tel);
    place(r, 187, email);
    place(r, 217, ico);
    place(r, 237, regc);
    return r;
  }
};

struct OrderItem {
  std::string czak, cipo, nazev = "Zboží z e-shopu", vyrobce = "Výrobce";
  std::string cenb = "10.50", cens = "12.71", sazba = "21", kusy = "3";
  std::string bytes() const {
    std::string r = "p" + std::string(144, ' ');
    place(r, 3, right(czak, 10));
    place(r, 13, cipo);
    place(r, 29, w1250(nazev));
    place(r, 79, w1250(vyrobce));
    place(r, 109, cenb);
    place(r, 122, cens);
    place(r, 135, sazba);
    place(r, 139, kusy);
    return r;
  }
};

inline std::string header(const std::string& czak, const std::string& nazd,
                          const std::string& ico = "") {
  OrderHeader h;
  h.czak = czak;
  h.nazd = nazd;
  h.ico = ico;
  return h.bytes();
}

inline std::string item(const std::string& czak, const std::string& cipo,
                        const std::string& nazev = "Zboží z e-shopu",
                        const std::string& cenb = "10.50", const std::string& kusy = "3") {
  OrderItem i;
  i.czak = czak;
  i.cipo = cipo;
  i.nazev = nazev;
  i.cenb = cenb;
  i.kusy = kusy;
  return i.bytes();
}

// The records joined, each followed by separator.
inline std::string document(const std::vector<std::string>& records,
                            const std::string& separator = "\r\n") {
  std::string d;
  for (const auto& r : records) d += r + separator;
  return d;
}

}  // namespace testutil
