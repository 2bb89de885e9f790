#include "package_files.h"

#include <cctype>

namespace korvo::test {
namespace {

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\r\n", "\n" or "" (the last line)
};

std::vector<Line> lines(const std::string& text) {
  std::vector<Line> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t lf = text.find('\n', at);
    Line line;
    if (lf == std::string::npos) {
      line.text = text.substr(at);
      at = text.size();
    } else {
      line.text = text.substr(at, lf - at);
      line.end = "\n";
      at = lf + 1;
    }
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      line.end = "\r" + line.end;
    }
    out.push_back(line);
  }
  return out;
}

std::string trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool isSection(const std::string& line, std::string* name) {
  const std::string t = trimmed(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  *name = t.substr(1, t.size() - 2);
  return true;
}

}  // namespace

std::string distPackage(const std::string& name) {
  return std::string(KORVO_SOURCE_DIR) + "/dist/" + name;
}

ProgramResult runTool(std::vector<std::string> args, std::vector<std::string> env,
                      const std::string& workDir, int timeoutSeconds) {
  ProgramRun run;
  run.args = {"/usr/bin/env"};
  run.args.insert(run.args.end(), args.begin(), args.end());
  run.env = std::move(env);
  run.workDir = workDir;
  run.timeoutSeconds = timeoutSeconds;
  return runProgram(run);
}

std::vector<std::string> siteNames(const std::string& ini) {
  std::vector<std::string> names;
  std::string section;
  for (const Line& line : lines(ini)) {
    std::string name;
    if (isSection(line.text, &name)) {
      section = name;
    } else if (section == "NewsSites") {
      const std::size_t eq = line.text.find('=');
      const std::string key = trimmed(line.text.substr(0, eq));
      if (eq != std::string::npos && !key.empty() && key[0] != ';') names.push_back(key);
    }
  }
  return names;
}

std::string withSites(const std::string& ini,
                      const std::vector<std::pair<std::string, std::string>>& urls) {
  std::string out;
  std::string section;
  for (const Line& line : lines(ini)) {
    std::string name;
    if (isSection(line.text, &name)) section = name;
    const std::size_t eq = line.text.find('=');
    if (section == "NewsSites" && eq != std::string::npos) {
      const std::string key = trimmed(line.text.substr(0, eq));
      bool replaced = false;
      for (const auto& [site, url] : urls) {
        if (site != key) continue;
        if (!url.empty()) out += key + "=" + url + line.end;
        replaced = true;
      }
      if (replaced) continue;
    }
    out += line.text + line.end;
  }
  return out;
}

std::string withSetting(const std::string& ini, const std::string& key, const std::string& value) {
  std::string out;
  for (const Line& line : lines(ini)) {
    out += line.text + line.end;
    std::string name;
    if (isSection(line.text, &name) && name == "Settings")
      out += key + "=" + value + (line.end.empty() ? "\n" : line.end);
  }
  return out;
}

bool everyLineEndsInCrLf(const std::string& text) {
  if (text.empty()) return false;
  for (const Line& line : lines(text))
    if (line.end != "\r\n") return false;
  return true;
}

std::string rssFeed(const std::string& title, const std::vector<std::string>& items) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>" + title +
      "</title><link>http://news.test/</link><description>Loopback news</description>";
  for (const std::string& item : items)
    xml += "<item><title>" + item + "</title><link>http://news.test/item</link></item>";
  return xml + "</channel></rss>\n";
}

std::string withoutCr(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

}  // namespace korvo::test
