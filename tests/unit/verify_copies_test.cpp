#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "fake_fixture.h"
#include "platform/directories.h"
#include "trials/pattern_files.h"
#include "trials/verify_copies.h"
#include "trials/work_directory.h"

namespace {

using fake::Service;

const std::string kDir = "C:\\W";

std::string& stored(const std::string& path) { return fake::state().files[path]; }

struct ReadBackCase {
  const char* what;
  std::int64_t file_kib;
  std::int32_t file_count;
  std::function<void()> spoil;  // what goes wrong after the copies were made
  const char* message;          // the line on standard error; empty when all is well
};

class CopiesReadBack : public FakePlatformTest,
                       public ::testing::WithParamInterface<ReadBackCase> {};

TEST_P(CopiesReadBack, EachCopyIsComparedWithWhatItsTestFileWasMadeOf) {
  const ReadBackCase& c = GetParam();
  ASSERT_TRUE(create_directory(kDir));
  trials.generator.state = 4242;
  const std::uint32_t first_state = trials.generator.state;
  ASSERT_TRUE(make_test_files(printer, trials.generator, kDir, c.file_kib, c.file_count));
  for (std::int32_t i = 0; i < c.file_count; ++i)
    stored(copy_file_path(kDir, i)) = stored(test_file_path(kDir, i));
  const std::uint32_t state_after_making = trials.generator.state;
  c.spoil();

  const bool matched =
      files_read_back_as_written(printer, kDir, c.file_kib, c.file_count, first_state);
  const std::string err = fake::diagnostics_text();
  EXPECT_EQ(matched, *c.message == '\0');
  EXPECT_EQ(err, c.message);
  EXPECT_EQ(trials.generator.state, state_after_making) << "the run's generator is not drawn";
  EXPECT_EQ(fake::console_text(), "") << "the trial prints its own failure text";
  EXPECT_EQ(fake::open_handle_count(), 0);
  EXPECT_EQ(fake::state().live_buffers, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CopiesReadBack,
    ::testing::Values(
        // Files past 1 MiB repeat their first MiB: the second piece is the
        // pattern again, and the remainder its beginning.
        ReadBackCase{"exact copies", 2049, 2, [] {}, ""},
        ReadBackCase{"a read that lies in the second MiB", 1025, 2,
                     [] { fake::state().flipped_on_read[copy_file_path(kDir, 1)] = 1048579; },
                     "varnoquelbit: 'C:\\W\\copy1.dat' differs from what was written at byte "
                     "1048579 (2098179 bytes checked)\n"},
        ReadBackCase{"a stored byte in the remainder", 1025, 1,
                     [] { stored(copy_file_path(kDir, 0))[1049000] ^= 0x01; },
                     "varnoquelbit: 'C:\\W\\copy0.dat' differs from what was written at byte "
                     "1049000 (1049000 bytes checked)\n"},
        ReadBackCase{"the first byte of the first copy", 2, 2,
                     [] { stored(copy_file_path(kDir, 0))[0] ^= 0x80; },
                     "varnoquelbit: 'C:\\W\\copy0.dat' differs from what was written at byte 0 "
                     "(0 bytes checked)\n"},
        ReadBackCase{"a short copy", 4, 2, [] { stored(copy_file_path(kDir, 1)).resize(3000); },
                     "varnoquelbit: 'C:\\W\\copy1.dat' ends at byte 3000 of the 4096 bytes "
                     "written (7096 bytes checked)\n"},
        ReadBackCase{"a long copy", 4, 2, [] { stored(copy_file_path(kDir, 0)) += "x"; },
                     "varnoquelbit: 'C:\\W\\copy0.dat' is longer than the 4096 bytes written "
                     "(4096 bytes checked)\n"},
        ReadBackCase{"a read error", 4, 3,
                     [] { fake::fail_path(Service::Read, copy_file_path(kDir, 2)); },
                     "varnoquelbit: 'C:\\W\\copy2.dat' could not be read back at byte 0: "
                     "injected fault (8192 bytes checked)\n"},
        ReadBackCase{"a missing copy", 4, 2,
                     [] { fake::state().files.erase(copy_file_path(kDir, 0)); },
                     "varnoquelbit: 'C:\\W\\copy0.dat' could not be opened to be read back: "
                     "no such file (0 bytes checked)\n"},
        // The test files after the copies: of files from 1 MiB on the first
        // 4 KiB of every MiB (and the remainder's beginning), of smaller
        // ones all of it. 2049 KiB: copies 2 * 2098176, test0 4096 + 4096 + 1024.
        ReadBackCase{"a test file garbled in a sample", 2049, 2,
                     [] { stored(test_file_path(kDir, 1))[1048676] ^= 0x10; },
                     "varnoquelbit: test file 'C:\\W\\test1.dat' differs from what was written "
                     "at byte 1048676 (4209764 bytes checked)\n"},
        ReadBackCase{"a test file that reads back short in its last MiB", 2049, 1,
                     [] { stored(test_file_path(kDir, 0)).resize(2097152 + 10); },
                     "varnoquelbit: test file 'C:\\W\\test0.dat' ends at byte 2097162 of the "
                     "2098176 bytes written (2106378 bytes checked)\n"},
        ReadBackCase{"a small test file read whole", 12, 2,
                     [] { fake::state().flipped_on_read[test_file_path(kDir, 1)] = 12000; },
                     "varnoquelbit: test file 'C:\\W\\test1.dat' differs from what was written "
                     "at byte 12000 (48864 bytes checked)\n"},
        ReadBackCase{"a test file that cannot be read", 4, 2,
                     [] { fake::fail_path(Service::Read, test_file_path(kDir, 0)); },
                     "varnoquelbit: test file 'C:\\W\\test0.dat' could not be read back at byte 0: "
                     "injected fault (8192 bytes checked)\n"},
        ReadBackCase{"another file's content", 4, 2,
                     [] { stored(copy_file_path(kDir, 1)) = stored(test_file_path(kDir, 0)); },
                     "varnoquelbit: 'C:\\W\\copy1.dat' differs from what was written at byte 0 "
                     "(4096 bytes checked)\n"}),
    [](const ::testing::TestParamInfo<ReadBackCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

}  // namespace
