#pragma once
// Files and event-loop helpers shared by the window and run-cycle tests.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>

inline void WriteBytes(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Lets posted work (deferred Run and Stop, queued releases) happen.
inline void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

class TTempFolder {
 public:
  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
  std::string Root() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
};
