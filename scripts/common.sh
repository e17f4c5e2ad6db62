# shellcheck shell=bash
# Shared by the scripts in this folder; source it, do not run it.

# shellcheck disable=SC2034 # used by the scripts that source this file
TOLLBOOK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages needed to build, run and test Tollbook. Add new needs here.
TOLLBOOK_PACKAGES=(
    build-essential
    cmake
    ninja-build
    qt6-base-dev
    qt6-base-dev-tools
    libqt6sql6-sqlite
    libgl-dev
    libcurl4-openssl-dev
    libcups2-dev
    cups-daemon   # the private print server of the capture agent's end-to-end test
    cups-client   # lp and lpadmin for that test
    cups-filters  # the generic PDF printer description and pdftopdf, for its PDF queue
    sqlite3
    tzdata # the zones the date tests run in
    libsqlite3-dev
    libpq-dev        # the PostgreSQL store of sites with several print servers
    libqt6sql6-psql
    postgresql-15    # initdb and pg_ctl for the tests' throwaway cluster; citext
    python3-aiosmtpd # the SMTP servers of the mail sender's tests
    openssl          # the certificate authority those tests make
    libxlsxwriter-dev # the spreadsheet exports of the print views
    python3-openpyxl  # reads the exported spreadsheets back in the tests
    xvfb
    fonts-dejavu-core # the reports' font, embedded in their PDF files
    poppler-utils     # pdftotext and pdftoppm, which the report tests read and photograph PDF files with
    xauth
    clang-format
    clang-tidy # scripts/tidy
    ccache     # used by the build when present; lets CI's two builds share the core's objects
    fp-utils # chmcmd, the compiler of the help files
    xchm     # the viewer F1 opens the help files in
)

# The configuration of the test build (scripts/test, .ci/run): the sanitizers, the tests and the benchmarks.
TOLLBOOK_TEST_CMAKE_FLAGS=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLLBOOK_SANITIZE=ON -DTOLLBOOK_TESTS=ON
    -DTOLLBOOK_BENCH=ON)

# The environment every test runs in.
export_test_environment() {
    export QT_QPA_PLATFORM=offscreen
    export ASAN_OPTIONS="detect_leaks=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
}

# Installs whichever of TOLLBOOK_PACKAGES is missing; does nothing when all are there.
ensure_packages() {
    local missing=() package status
    for package in "${TOLLBOOK_PACKAGES[@]}"; do
        status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
        if [[ "$status" != "install ok installed" ]]; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi

    local sudo=()
    if [[ "$(id -u)" -ne 0 ]]; then
        sudo=(sudo)
    fi
    echo "Installing missing packages: ${missing[*]}"
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
