#pragma once
// What the package tests share: the packages of make dist (in dist/ of the
// source tree), programs run by name from PATH, and the edits a user makes
// to a sample Korvo.ini.
#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"

namespace korvo::test {

// dist/NAME in the source tree.
std::string distPackage(const std::string& name);

// Runs args[0] found on PATH (through /usr/bin/env), with env added to the
// environment; a minute at most unless timeoutSeconds says otherwise.
ProgramResult runTool(std::vector<std::string> args, std::vector<std::string> env = {},
                      const std::string& workDir = "", int timeoutSeconds = 60);

// The names of the [NewsSites] section, in file order.
std::vector<std::string> siteNames(const std::string& ini);

// The INI text with each named site's URL replaced; a site given an empty
// URL loses its line. Other lines, and the file's line ends, are kept.
std::string withSites(const std::string& ini,
                      const std::vector<std::pair<std::string, std::string>>& urls);

// The INI text with KEY=VALUE added at the top of its [Settings] section.
std::string withSetting(const std::string& ini, const std::string& key, const std::string& value);

// True when text is not empty and every line of it ends in CR LF.
bool everyLineEndsInCrLf(const std::string& text);

// An RSS 2.0 document with that channel title and those item titles.
std::string rssFeed(const std::string& title, const std::vector<std::string>& items);

// The text without its carriage returns (Windows programs end lines in CR LF).
std::string withoutCr(std::string text);

}  // namespace korvo::test
