# Sourced by the test scripts that run on the test bed: makes it, or ends the test with 77 where
# none can be made here and 1 when making it failed. Sets `tb` (testbed.sh) and `dir` (the test
# bed's state folder, which `"$tb" down "$dir"` removes) and sources its env (TB_* variables).
tb=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/testbed.sh
"$tb" check || exit 77
dir=$("$tb" up)
rc=$?
if [ $rc = 77 ]; then exit 77; fi
if [ $rc != 0 ] || [ -z "$dir" ]; then echo "FAIL: the test bed could not be made"; exit 1; fi
# shellcheck disable=SC1091
source "$dir/env"
