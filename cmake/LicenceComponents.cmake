# The components whose licences the About dialog shows, as "Name|package"
# pairs: the section title and the Debian package whose
# /usr/share/doc/<package>/copyright holds its licence. Pairs with the same
# name form one section, at the place of the name's first pair; a copyright
# file shared by several of its packages is shown once.
#
# The list must cover every package of a library the program links (the
# licence test compares it with `ldd OrvikRescaler`). A machine with other
# package versions or libraries changes this list, and only this list.
set(ORVIK_LICENCE_COMPONENTS
    "nlohmann-json|nlohmann-json3-dev"
    "valijson|libvalijson-dev"
    "spdlog|libspdlog1.10"
    "fmt|libfmt9"
    # The threads library is part of libc6.
    "the GNU C Library|libc6"
    "the GNU C++ Library|libstdc++6"
    "the GCC support library|libgcc-s1"
    "the GCC support library|libgomp1"
    "Qt|libqt6core6"
    "Qt|libqt6gui6"
    "Qt|libqt6widgets6"
    "Qt|libqt6network6"
    "Qt|libqt6dbus6"
    # The Qt packages outside qtbase that the program uses: serial port,
    # Bluetooth, and the SVG plugin that draws the tool-bar icons.
    "Qt-Thirdparty|libqt6serialport6"
    "Qt-Thirdparty|libqt6bluetooth6"
    "Qt-Thirdparty|libqt6svg6"
    # The libraries Debian's Qt loads instead of copies of its own.
    "double-conversion|libdouble-conversion3"
    "ICU|libicu72"
    "PCRE2|libpcre2-16-0"
    "PCRE2|libpcre2-8-0"
    "zlib|zlib1g"
    "Zstandard|libzstd1"
    "Brotli|libbrotli1"
    "BLAKE2|libb2-1"
    "MD4C|libmd4c0"
    "HarfBuzz|libharfbuzz0b"
    "Graphite|libgraphite2-3"
    "FreeType|libfreetype6"
    "Fontconfig|libfontconfig1"
    "Expat|libexpat1"
    "libpng|libpng16-16"
    "GLib|libglib2.0-0"
    "D-Bus|libdbus-1-3"
    "systemd|libsystemd0"
    "systemd|libudev1"
    "xkbcommon|libxkbcommon0"
    "libX11|libx11-6"
    "libxcb|libxcb1"
    "libXau|libxau6"
    "libXdmcp|libxdmcp6"
    "libglvnd|libglvnd0"
    "libglvnd|libglx0"
    "libglvnd|libopengl0"
    "libglvnd|libegl1"
    "libproxy|libproxy1v5"
    "MIT Kerberos|libgssapi-krb5-2"
    "MIT Kerberos|libkrb5-3"
    "MIT Kerberos|libk5crypto3"
    "MIT Kerberos|libkrb5support0"
    "com_err|libcom-err2"
    "keyutils|libkeyutils1"
    "libcap|libcap2"
    "Libgcrypt|libgcrypt20"
    "libgpg-error|libgpg-error0"
    "XZ Utils|liblzma5"
    "LZ4|liblz4-1"
    "libbsd|libbsd0"
    "libmd|libmd0"
)

# A sanitized build links the sanitizer runtimes as well.
if(ORVIK_SANITIZE)
    list(APPEND ORVIK_LICENCE_COMPONENTS
        "the GCC support library|libasan8"
        "the GCC support library|libubsan1")
endif()
