#include "core/daemon/daemon_build.h"
#include "core/daemon/owner_lock.h"
#include "support/process_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>

namespace qs {
namespace {

using testing::TemporaryFolder;
using testing::writeTextFile;

// Another process (flock(1), which keeps the lock from the command it runs) holding the lock on
// `path` until it is killed.
class LockHolder {
public:
  explicit LockHolder(const std::filesystem::path& path)
      : process_(QSChildProcess::spawn(
            {"/usr/bin/flock", {"-n", "-o", path.string(), "-c", "echo locked; exec sleep 1000"}, "/", {}})) {
    auto out = process_->takeStandardOutput();
    locked_ = testing::readFromPipe(out.get(), true) == "locked\n";
  }
  ~LockHolder() { kill(); }
  bool locked() const { return locked_; }
  // Returns once the holder has ended, and with it its lock.
  void kill() {
    process_->signalGroup(SIGKILL);
    testing::reapWithin(*process_, std::chrono::seconds(10));
  }

private:
  std::shared_ptr<QSChildProcess> process_;
  bool locked_ = false;
};

TEST(OwnerLockTest, OneHolderPerPathAmongObjectsOfOneProcess) {
  TemporaryFolder dir;
  auto path = dir / "nested/folder/owner.lock";
  QSOwnerLock first(path), second(path);
  EXPECT_TRUE(first.tryAcquire());
  struct stat st {};
  ASSERT_EQ(::stat((dir / "nested/folder").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the folder it makes is private: it holds the control socket";
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
