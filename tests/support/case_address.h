#pragma once
// The loopback address of the running test case, for its servers and URLs.
// CTest runs every case as a process of its own, several at once (-j), so
// cases that listened on one fixed address:port would take it from each
// other. Each case gets an address of its own instead, the same on every run:
// 127.a.b.c taken from a hash of the case's full name (suite, case and
// parameter), with a in 1..254 and c in 1..254. Fixed addresses that tests
// use for other ends (nobody listening, 127.0.x.y) lie outside that range.
// Programs run in a network namespace of their own (tests/support/
// tls-namespace, tests/win32/resolver_namespace.sh) may listen on fixed
// addresses: nothing else can listen there.
#include <string>
#include <string_view>

namespace korvo::test {

// The address of the full test name given ("Suite.Case").
std::string addressForCase(std::string_view fullName);

// The address of the case now running: call it inside a test body, its
// fixture or SetUp. Outside a case there is no name to take it from, and
// the program stops with a message rather than share one address.
std::string caseAddress();
// Address n of the case now running, for cases with several servers: that
// of "Suite.Case/n", apart from caseAddress() and from each other.
std::string caseAddress(int n);

// "http://" + caseAddress() + path.
std::string caseUrl(std::string_view path);

}  // namespace korvo::test
