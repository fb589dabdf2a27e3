// numtext.h: raw text writers for numbers and temporal counts, the bottom
// layer of every text form (`$`, source form, JSON, chart labels).
//
// Every writer puts bytes at dst, writes no terminator, never fails, never
// touches a byte past what it wrote, and returns one past the last byte
// written.  The caller owns the room:
//   sW  unsigned decimal            <= 20 bytes
//   sl  signed decimal, 0N null     <= 20 bytes
//   sf  shortest round-trip double  <= 24 bytes
//   sdt date      [-]Y.MM.DD                        <= 14 bytes
//   stm time      [-]HH:MM:SS.mmm                   <= 14 bytes
//   snp timestamp Y.MM.DDDHH:MM:SS.nnnnnnnnn, 0N    <= 29 bytes
//   smn minute    [-]HH:MM                          <= 12 bytes
//   ssc second    [-]HH:MM:SS                       <= 14 bytes
//   smo month     [-]Y.MM                           <= 13 bytes
//   ssp timespan  [-]dDHH:MM:SS.nnnnnnnnn, 0N       <= 26 bytes
//   tqw a temporal atom's text as `tqs` gives it    <= 40 bytes
// Temporal counts are those of the stored representation: days and months
// from 2000.01.01 / 2000.01, milliseconds, minutes, seconds, and
// nanoseconds for timestamps and timespans.  The 32-bit writers print the
// null count like any other count; callers test for nulls first (tqw does).
#pragma once
#include <cstdint>

namespace zk {

// "00".."99": two ASCII digits per index, so digits are written in pairs.
inline constexpr char dig2[201] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
// Null letters of the temporal atom types 33..39 (date time timestamp
// minute second month timespan), also their vector suffixes.
inline constexpr char tnul[8] = "dtpuvmn";

char *sW(char *dst, uint64_t u);
char *sl(char *dst, int64_t i);
char *sf(char *dst, uint64_t bits);
char *sdt(char *dst, int32_t days);
// The proleptic Gregorian date days after 2000.01.01 (|days| < 9.2e18).
void civ(int64_t days, int64_t *y, uint32_t *mo, uint32_t *dd);
char *stm(char *dst, int32_t ms);
char *snp(char *dst, int64_t ns);
char *smn(char *dst, int32_t m);
char *ssc(char *dst, int32_t s);
char *smo(char *dst, int32_t m);
char *ssp(char *dst, int64_t ns);

// The text `tqs` gives a temporal atom: t is the atom type (33..39), v its
// count (32-bit counts sign-extended).  flags bit 0 is the source form:
// nulls write "0N" and the type letter (else nothing) and months get a
// trailing "m".  Any other t writes nothing.
char *tqw(char *dst, int t, int64_t v, int flags);

// Shortest round-trip digits of a finite nonzero double (sign ignored):
// the value is m * 10^e with m free of trailing zeros and as short as any
// decimal that reads back to the same double.
struct sfd_t {
  uint64_t m;
  int32_t e;
};
sfd_t sfd(uint64_t bits);

}  // namespace zk
