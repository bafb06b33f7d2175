#include <iconv.h>

#include <string>

#include "app/gbk_text.h"

namespace tillvane {

// Decodes code page 936 with the C library's converter. ASCII passes unchanged; a
// byte sequence that is not GBK is shown as UTF-8 when it is that, else byte by byte.
QString FromGbk(const std::string& bytes) {
  bool ascii = true;
  for (unsigned char c : bytes) ascii = ascii && c < 0x80;
  if (ascii) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));

  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd != reinterpret_cast<iconv_t>(-1)) {
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in_ptr = const_cast<char*>(bytes.data());
    size_t in_left = bytes.size();
    char* out_ptr = out.data();
    size_t out_left = out.size();
    const size_t r = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    iconv_close(cd);
    if (r != static_cast<size_t>(-1) && in_left == 0) {
      return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size() - out_left));
    }
  }
  const QString utf8 = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (!utf8.contains(QChar::ReplacementCharacter)) return utf8;
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace tillvane
