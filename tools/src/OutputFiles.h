// The files one command writes, as one transaction: each is written under a
// temporary name beside its final name and renamed only when every file is
// complete; on failure, interruption or destruction without commit the
// temporaries are removed, so no partial output is ever left behind.
#pragma once

#include <string>
#include <vector>

namespace plughost {

class OutputFiles {
public:
  OutputFiles() = default;
  ~OutputFiles(); // discards what was not committed
  OutputFiles(const OutputFiles &) = delete;
  OutputFiles &operator=(const OutputFiles &) = delete;

  // Registers a final name and answers the temporary name to write instead.
  // Fails when the name repeats one already registered or when its folder
  // does not exist.
  bool add(const std::string &finalPath, std::string &temporaryPath, std::string &error);
  // Renames every temporary file to its final name.
  bool commit(std::string &error);
  // Removes every temporary file.
  void discard();

  const std::vector<std::string> &finalPaths() const { return finals_; }

private:
  std::vector<std::string> finals_;
  std::vector<std::string> temporaries_;
  bool committed_ = false;
};

// Removes temporary files when the program is interrupted (SIGINT, SIGTERM).
void removeTemporariesOnInterrupt();

} // namespace plughost
