#include "support/faulty_site.h"

#include <filesystem>

#include "app/manifest.h"

namespace loom::testing {

Site::Site() : rules_(dir / "rules.mdb") {
  std::filesystem::create_directory(in());
  std::filesystem::create_directory(out());
  rules_.fileType("TXT", "1", "", "", "ART").group("ART", "<H2>Articles</H2>", "</UL>");
}

void Site::input(const std::string& name, const std::string& bytes) {
  writeFile(in() + "/" + name, bytes);
}

ToolResult Site::run(const std::vector<std::string>& extra) const {
  std::vector<std::string> args{"--rules", rulesPath()};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(in());
  args.push_back(out());
  return runBatchTool(args);
}

std::string sitePage(const std::vector<std::string>& lines) {
  std::string page = "<HTML><BODY>\r\n";
  for (const std::string& line : lines) page += line + "\r\n";
  return page + "</BODY></HTML>\r\n";
}

std::vector<std::string> Site::outputNames() const {
  std::vector<std::string> names = directoryNames(out());
  std::erase(names, std::string(kManifestName));
  return names;
}

}  // namespace loom::testing
