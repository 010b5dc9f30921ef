#include <gtest/gtest.h>

#include "fake_fixture.h"
#include "platform/directories.h"
#include "trials/pattern_files.h"
#include "trials/work_directory.h"

namespace {

using fake::Service;

class TestFiles : public FakePlatformTest {
 protected:
  void SetUp() override {
    FakePlatformTest::SetUp();
    ASSERT_TRUE(create_directory(dir));
  }
  const std::string& file(int i) { return fake::state().files[test_file_path(dir, i)]; }
  const std::string dir = "C:\\W";
};

TEST_F(TestFiles, ContentRepeatsEachDrawInBothBytesOfAWord) {
  trials.generator.state = 777;
  OneDrawAtATime draws{777};
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 3, 1));
  const std::string& content = file(0);
  ASSERT_EQ(content.size(), 3072u);
  for (std::size_t k = 0; k < content.size(); k += 2) {
    const unsigned char expected = draws.byte();
    ASSERT_EQ(static_cast<unsigned char>(content[k]), expected) << k;
    ASSERT_EQ(content[k], content[k + 1]) << k;
  }
}

TEST_F(TestFiles, OneKibFileIsOneWriteAndTakes512Draws) {
  trials.generator.state = 5;
  OneDrawAtATime draws{5};
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 1, 2));
  EXPECT_EQ(file(0).size(), 1024u);
  EXPECT_EQ(file(1).size(), 1024u);
  for (int i = 0; i < 1024; ++i) draws.byte();
  EXPECT_EQ(trials.generator.state, draws.state);
  const auto writes = fake::events_of(Service::Write);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].length, 1024u);
  EXPECT_NE(file(0), file(1)) << "each file has content of its own";
}

TEST_F(TestFiles, WholeMibFilesRepeatOnePatternAndTheTailRepeatsItsStart) {
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 1025, 1));
  const std::string& content = file(0);
  ASSERT_EQ(content.size(), 1025u * 1024);
  EXPECT_EQ(content.substr(1024 * 1024), content.substr(0, 1024));
  const auto writes = fake::events_of(Service::Write);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].length, 1048576u);
  EXPECT_EQ(writes[1].length, 1024u);

  fake::reset();
  ASSERT_TRUE(create_directory(dir));
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 3072, 1));
  const std::string& three = file(0);
  ASSERT_EQ(three.size(), 3u * 1048576);
  EXPECT_EQ(three.substr(0, 1048576), three.substr(1048576, 1048576));
  EXPECT_EQ(three.substr(0, 1048576), three.substr(2 * 1048576));
  EXPECT_EQ(fake::count_of(Service::Write), 3) << "whole MiB only, no remainder write";
}

TEST_F(TestFiles, FilesOfAMibOrMoreDrawTheWholeBufferEachTime) {
  trials.generator.state = 9;
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 1024, 2));
  OneDrawAtATime draws{9};
  for (int i = 0; i < 2 * 524288; ++i) draws.byte();
  EXPECT_EQ(trials.generator.state, draws.state);
  EXPECT_NE(file(0), file(1));
}

TEST_F(TestFiles, EachFileIsCreatedUncompressedFlushedAndClosed) {
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 4, 3));
  EXPECT_EQ(fake::count_of(Service::Open), 3);
  EXPECT_EQ(fake::count_of(Service::Compression), 3);
  EXPECT_EQ(fake::count_of(Service::Flush), 3);
  EXPECT_EQ(fake::count_of(Service::Close), 3);
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);
  EXPECT_EQ(fake::state().allocations, std::vector<std::size_t>{1048576});
}

TEST_F(TestFiles, ZeroFilesMakesNothingAndSucceeds) {
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 4, 0));
  ASSERT_TRUE(make_test_files(printer, trials.generator, dir, 4, -3));
  EXPECT_TRUE(fake::paths_under(dir).empty());
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(TestFiles, CreateFailureKeepsEarlierFilesAndStops) {
  fake::fail_path(Service::Open, test_file_path(dir, 3));
  EXPECT_FALSE(make_test_files(printer, trials.generator, dir, 2, 6));
  EXPECT_EQ(fake::console_text(), " CreateFile Error:INVALID_HANDLE_VALUE\n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(file(i).size(), 2048u) << i;
  EXPECT_EQ(fake::paths_under(dir).size(), 3u) << "no later file is attempted";
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(TestFiles, WriteFailureClosesTheFileWithoutFlushAndLeavesIt) {
  fake::fail_transfer(Service::Write, test_file_path(dir, 1), 1048576);  // its second MiB
  EXPECT_FALSE(make_test_files(printer, trials.generator, dir, 2048, 3));
  EXPECT_EQ(fake::console_text(), " WriteFile Error\n");
  EXPECT_EQ(fake::diagnostics_text(),
            "varnoquelbit: write '" + test_file_path(dir, 1) + "': injected fault\n");
  EXPECT_EQ(file(0).size(), 2048u * 1024);
  EXPECT_EQ(file(1).size(), 1024u * 1024) << "holds what was written";
  EXPECT_EQ(fake::paths_under(dir).size(), 2u);
  EXPECT_EQ(fake::count_of(Service::Flush), 1) << "only the complete file was flushed";
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);
}

TEST_F(TestFiles, FailingRemainderWriteIsReportedToo) {
  fake::fail_transfer(Service::Write, test_file_path(dir, 0), 1048576);  // the remainder
  EXPECT_FALSE(make_test_files(printer, trials.generator, dir, 1025, 1));
  EXPECT_EQ(fake::console_text(), " WriteFile Error\n");
  EXPECT_EQ(fake::open_handle_count(), 0);
}

TEST_F(TestFiles, FillBufferThatCannotBeHadIsAFailureNotACrash) {
  fake::fail_every(Service::Allocate);
  EXPECT_FALSE(make_test_files(printer, trials.generator, dir, 4, 2));
  EXPECT_TRUE(fake::paths_under(dir).empty());
}

}  // namespace
