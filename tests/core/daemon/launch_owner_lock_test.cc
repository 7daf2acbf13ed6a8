#include "core/daemon/daemon_build.h"
#include "core/daemon/owner_lock.h"
#include "core/platform/file_lock.h"
#include "core/platform/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

namespace qs {
namespace {

using testing::IsolatedHome;
using testing::TemporaryFolder;
using testing::writeTextFile;

// A child process that holds the lock on `path` until it is killed.
class LockHolder {
public:
  explicit LockHolder(const std::filesystem::path& path) {
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      UniqueFd fd = openLockFile(path);
      char locked = tryLockExclusive(fd) ? 'y' : 'n';
      (void)!::write(ready[1], &locked, 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    (void)!::read(ready[0], &answer, 1);
    ::close(ready[0]);
    locked_ = answer == 'y';
  }
  ~LockHolder() { kill(); }
  bool locked() const { return locked_; }
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

private:
  pid_t pid_ = -1;
  bool locked_ = false;
};

TEST(OwnerLockTest, OneHolderPerPathAmongObjectsOfOneProcess) {
  TemporaryFolder dir;
  auto path = dir / "nested/folder/owner.lock";
  QSOwnerLock first(path), second(path);
  EXPECT_TRUE(first.tryAcquire());
  EXPECT_TRUE(first.tryAcquire()) << "taking it again on the same object";
  EXPECT_TRUE(first.isHeld());
  EXPECT_FALSE(second.tryAcquire());
  EXPECT_FALSE(second.isHeld());

  first.release();
  EXPECT_FALSE(first.isHeld());
  first.release();  // harmless when not held
  EXPECT_TRUE(second.tryAcquire());
  EXPECT_FALSE(first.tryAcquire());
  {
    QSOwnerLock dropped(dir / "other.lock");
    ASSERT_TRUE(dropped.tryAcquire());
  }
  EXPECT_TRUE(QSOwnerLock(dir / "other.lock").tryAcquire()) << "dropping the holder releases the lock";
}

TEST(OwnerLockTest, LockOfAnotherProcessBlocksUntilItDies) {
  TemporaryFolder dir;
  auto path = dir / "owner.lock";
  LockHolder holder(path);
  ASSERT_TRUE(holder.locked());
  QSOwnerLock lock(path);
  EXPECT_FALSE(lock.tryAcquire());
  holder.kill();
  EXPECT_TRUE(lock.tryAcquire());
}

TEST(OwnerLockTest, ContentIsNeverWrittenAndUnopenablePathsFail) {
  TemporaryFolder dir;
  auto path = dir / "owner.lock";
  writeTextFile(path, "left by someone");
  QSOwnerLock lock(path);
  ASSERT_TRUE(lock.tryAcquire());
  lock.release();
  EXPECT_EQ(testing::readTextFile(path), "left by someone");

  writeTextFile(dir / "plain-file", "");
  QSOwnerLock underFile(dir / "plain-file/owner.lock");
  EXPECT_FALSE(underFile.tryAcquire());
  EXPECT_FALSE(underFile.isHeld());
}

TEST(OwnerLockTest, TheDefaultLockMakesItsFolderPrivate) {
  IsolatedHome home;
  QSOwnerLock lock(QSOwnerLock::defaultPath());
  ASSERT_TRUE(lock.tryAcquire());
  struct stat st {};
  ASSERT_EQ(::stat((home.home() / ".local/share/Quayside").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

void setModificationTime(const std::filesystem::path& path, long seconds) {
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::from_sys(
                                             std::chrono::sys_seconds(std::chrono::seconds(seconds))));
}

TEST(DaemonBuildTest, FingerprintIsModificationSecondsAndSize) {
  TemporaryFolder dir;
  auto file = dir / "quaysided";
  writeTextFile(file, "12345");
  setModificationTime(file, 1'700'000'000);
  EXPECT_EQ(QSDaemonBuild::fingerprint(file), "1700000000-5");

  std::filesystem::create_symlink(file, dir / "link");
  EXPECT_EQ(QSDaemonBuild::fingerprint(dir / "link"), "1700000000-5") << "links are followed";

  EXPECT_EQ(QSDaemonBuild::fingerprint(dir / "missing"), "0-0");
  std::filesystem::create_symlink(dir / "missing", dir / "dangling");
  EXPECT_EQ(QSDaemonBuild::fingerprint(dir / "dangling"), "0-0");
}

}  // namespace
}  // namespace qs
