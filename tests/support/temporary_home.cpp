// Every test program runs with a history and settings of its own:
// XDG_DATA_HOME and XDG_CONFIG_HOME point into a temporary folder, set
// before main and so before anything opens a history or reads a setting,
// and removed when the program ends. No test touches the real home.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class TemporaryHome {
  public:
    TemporaryHome() {
        std::string folder =
            (std::filesystem::temp_directory_path() / "trx5-test-home-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) std::abort();
        folder_ = folder;
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const std::string path = folder_ + "/" + name;
            std::filesystem::create_directory(path);
            setenv(name, path.c_str(), 1);
        }
    }
    ~TemporaryHome() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

  private:
    std::string folder_;
};

const TemporaryHome home;

}  // namespace
