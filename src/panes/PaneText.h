#pragma once

#include <QString>
#include <cstddef>

namespace telvora
{

// The texts the property panes show for the fields of LAS files, the same under every locale.

// A fixed-width text field up to its first NUL byte, at most width bytes. Printable ASCII shows
// as it is; every other byte as \xNN (two lower-case hex digits), so that binary data such as
// GeoTIFF keys never puts control characters or broken UTF-8 into a grid.
QString FieldText(const unsigned char* bytes, std::size_t width);
QString FieldText(const char* bytes, std::size_t width);

// Six decimals with a point, as "%f" in the C locale: 0.01 gives "0.010000".
QString FixedText(double value);

} // namespace telvora
