// MIME types by file-name extension, from the system's MIME table (/etc/mime.types, Debian's
// media-types package), read once on first use. Static functions; any thread (the table is
// built under a once-flag and never changes).
#pragma once

#include <string>
#include <string_view>

class ZQMIMETypes {
  public:
    // The type for the extension of the last path segment of a path or URL text
    // ("file:///tmp/a%20b.PNG?x" -> "image/png"), without regard to case; the octet-stream type
    // when there is no extension, the table does not know it, or the table cannot be read.
    static std::string mimeTypeForPathExtension(std::string_view pathOrURL);
    // "application/octet-stream".
    static const std::string& mimeTypeApplicationOctetStream();
};
