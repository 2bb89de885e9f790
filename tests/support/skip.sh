# Sourced by shell tests. skip_test MESSAGE: ends the test as skipped (exit
# 77, CTest's SKIP_RETURN_CODE) for want of something it needs; with
# KORVO_REQUIRE_ALL_TESTS=1 a missing prerequisite is a failure (exit 1).
skip_test() {
  if [ "${KORVO_REQUIRE_ALL_TESTS:-}" = 1 ]; then
    echo "FAILED: $* (KORVO_REQUIRE_ALL_TESTS=1: nothing may be skipped)" >&2
    exit 1
  fi
  echo "skipped: $*" >&2
  exit 77
}
