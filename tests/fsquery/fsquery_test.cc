// fsquery's own pieces: the command line, path mapping, output formats, failure reasons.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "FsFileInfo.h"
#include "base/result_codes.h"
#include "batch.h"
#include "batch_words.h"
#include "cache_only_host.h"
#include "command_line.h"
#include "failure_reason.h"
#include "install_layout.h"
#include "output_format.h"
#include "platform/platform.h"
#include "progress_text.h"
#include "query_paths.h"
#include "result_sink.h"
#include "support/drive_table.h"
#include "support/narrow_text.h"

namespace {

bool parse(std::vector<const char*> arguments, QueryRequest* request, std::string* error) {
  arguments.insert(arguments.begin(), "fsquery");
  return parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), request, error);
}

TEST(FsqueryCommandLine, OptionsAndValues) {
  QueryRequest r;
  std::string error;
  std::vector<std::string> words;
  ASSERT_TRUE(splitWords(
      "C:\\a --flat C:\\b --exclude C:\\a\\x --criteria=[SIZE]>1 --case --age 5 --timeout "
      "4294967295 --extended --cache-only --fs EXT4 --not-fs TMPFS --json -0 --drive-paths -q "
      "--crc32 DEADBEEF --md5 000102030405060708090a0b0c0d0e0f -- -dash",
      &words, &error));
  std::vector<const char*> arguments;
  for (const std::string& word : words) arguments.push_back(word.c_str());
  ASSERT_TRUE(parse(arguments, &r, &error)) << error;
  // A filter alone does not ask for checksums: extraction computes what it compares.
  const PathList& in = r.query.included;
  ASSERT_EQ(in.size(), 3u);
  std::ostringstream seen;
  seen << narrow(in[0].path()) << in[0].recursive() << narrow(in[1].path()) << in[1].recursive()
       << " -" << narrow(r.query.excluded.at(0).path()) << " " << narrow(r.query.criteriaText)
       << " " << r.query.caseSensitiveFlag << r.extended << r.cacheOnly << r.quiet << r.checksums
       << " " << r.age << " " << r.timeout << " " << narrow(r.query.includedFs.at(0)) << "/"
       << r.query.includedFs.size() << " " << narrow(r.query.excludedFs.at(0)) << "/"
       << r.query.excludedFs.size() << " " << static_cast<int>(r.output.format) << " "
       << static_cast<int>(r.output.separator) << r.output.drivePaths << " " << std::hex
       << r.checksumFilter.crc32Values.at(0) << "/" << r.checksumFilter.crc32Values.size() << " "
       << int{r.checksumFilter.md5Values.at(0)[0]} << "-" << int{r.checksumFilter.md5Values[0][15]}
       << "/" << r.checksumFilter.md5Values.size() << " " << (r.checksumFilter.active != 0);
  EXPECT_EQ(seen.str(), "C:\\a1C:\\b0 -C:\\a\\x [SIZE]>1 11110 5 4294967295 EXT4/1 TMPFS/1 " +
                            std::to_string(static_cast<int>(OutputFormat::kJson)) +
                            " 01 deadbeef/1 0-f/1 1");
  EXPECT_NE(narrow(in[2].path()).find("-dash"), std::string::npos);

  QueryRequest plain;
  ASSERT_TRUE(parse({}, &plain, &error)) << error;
  EXPECT_EQ(narrow(plain.query.criteriaText), "[FILENAME]==\"*\"");
  EXPECT_EQ(plain.query.included.size(), 1u);  // the current directory
  EXPECT_FALSE(plain.checksums || plain.cacheOnly || plain.query.caseSensitiveFlag);
}

TEST(FsqueryCommandLine, BadCommandLinesNameTheProblem) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--bogus=1"}, "unknown option '--bogus'"},
      {{"--age"}, "option '--age' needs a value"},
      {{"--age", "-1"}, "not a number: '-1'"},
      {{"--timeout", "4294967296"}, "not a number"},
      {{"--age", "12x"}, "not a number"},
      {{"--crc32", "DEADBEE"}, "--crc32 needs 8 hex digits"},
      {{"--crc32", "DEADBEEG"}, "--crc32 needs 8 hex digits"},
      {{"--crc32", "DEADBEEF0"}, "--crc32 needs 8 hex digits"},
      {{"--age", "-18446744073709551615"}, "not a number"},
      {{"--md5", "000102030405060708090a0b0c0d0e0"}, "--md5 needs 32 hex digits"},
      {{"--exclude", ""}, "an empty path"},
  };
  for (const auto& [arguments, message] : cases) {
    QueryRequest r;
    std::string error;
    EXPECT_FALSE(parse(arguments, &r, &error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

std::string render(const OutputOptions& options, const std::vector<FoundFile>& files) {
  std::FILE* out = std::tmpfile();
  {
    OutputWriter writer(out, options, false);
    for (const FoundFile& file : files) writer.write(file);
    EXPECT_TRUE(writer.finish());
  }
  std::string text(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  text.resize(std::fread(&text[0], 1, text.size(), out));
  std::fclose(out);
  return text;
}

class FsqueryPaths : public DriveTableTest {};

TEST_F(FsqueryPaths, HostPathsMapThroughTheDriveTableWithTheirMediaWord) {
  const std::string fixed = drives_.hostRoot('C').string();
  const std::string remote = drives_.hostRoot('R').string();
  // Each argument and its query path; a null query: refused.
  const std::pair<std::string, const char*> cases[] = {
      {fixed + "/usr/include", "C:\\usr\\include"},
      {remote + "/share", "$remote::R:\\share"},
      {drives_.hostRoot('E').string() + "/disc", "$other::E:\\disc"},
      {"$remote::*", "$remote::*"},
      {"R:\\as\\given", "R:\\as\\given"},
      {"/nowhere/on/any/drive", nullptr},
  };
  for (const auto& [argument, query] : cases) {
    std::u16string out;
    std::string error;
    EXPECT_EQ(toQueryPath(argument, &out, &error), query != nullptr) << argument;
    EXPECT_EQ(
        query != nullptr ? narrow(out) : error.substr(error.find("lies")),
        query != nullptr ? query : "lies on no drive of the drive table (see FSCANNER_DRIVES)");
  }
  drives_.enter('C', "work");
  std::u16string relative;
  std::string error;
  ASSERT_TRUE(toQueryPath("sub/../x", &relative, &error)) << error;
  EXPECT_EQ(narrow(relative), "C:\\work\\x");
  EXPECT_EQ(toOutputPath(u"R:\\share\\a b.txt", false), remote + "/share/a b.txt");
  EXPECT_EQ(toOutputPath(u"R:\\share\\a b.txt", true), "R:\\share\\a b.txt");
  EXPECT_EQ(toOutputPath(u"Q:\\no\\drive", false), "Q:\\no\\drive");
  // Printed paths reuse the last directory's host form: each must still equal its own conversion,
  // whatever name or directory follows (the same length, the drive root, dots, non-ASCII).
  const char16_t* printed[] = {u"R:\\share\\a",  u"R:\\share\\b",       u"R:\\shark\\b",
                               u"R:\\share\\..", u"R:\\share\\e\u00e9", u"R:\\c",
                               u"R:\\x\\..\\d",  u"Q:\\no\\drive",      u"R:\\share\\."};
  std::vector<FoundFile> files;
  std::string expected;
  for (const char16_t* path : printed) {
    files.push_back(FoundFile{path, 0, 0, true, u"", 0, 0});
    expected += toOutputPath(path, false) + "\n";
  }
  EXPECT_EQ(render(OutputOptions{}, files), expected);

  // The cache home is made with its missing ancestors; an existing one is accepted.
  EXPECT_TRUE(createDirectories(u"C:\\home\\user\\.cache\\fscanner"));
  EXPECT_TRUE(createDirectories(u"C:\\home\\user\\.cache\\fscanner"));
  EXPECT_TRUE(std::filesystem::is_directory(drives_.hostRoot('C') / "home/user/.cache/fscanner"));
  EXPECT_FALSE(createDirectories(u"Q:\\no\\drive"));
}

TEST(FsqueryOutput, EveryFormatByteExact) {
  if (!narrowTextIsUtf8()) GTEST_SKIP() << kNarrowTextIsNotUtf8;
  const char16_t* md5 = u"0123456789abcdef0123456789abcdef";
  const FoundFile cached{u"Q:\\d\\a\"b.txt", 0x100000001ull, 0x8124, true, md5, 0xCAFEF00Du, 1};
  FoundFile walked{u"Q:\\d\\e\u00e9\n.c", 7, 0x81B6, false, u"", 0, 0};
  FoundFile noSums{u"Q:\\x", 0, 0, true, u"0", 0, 0};
  const std::vector<FoundFile> files{cached, walked, noSums};
  OutputOptions options;
  options.drivePaths = true;
  EXPECT_EQ(render(options, files), "Q:\\d\\a\"b.txt\nQ:\\d\\e\u00e9\n.c\nQ:\\x\n");
  options.separator = '\0';
  EXPECT_EQ(render(options, {cached, noSums}), std::string("Q:\\d\\a\"b.txt\0Q:\\x\0", 18));
  options.separator = '\n';
  options.format = OutputFormat::kCount;
  EXPECT_EQ(render(options, files), "3\n");
  EXPECT_EQ(render(options, {}), "0\n");
  options.format = OutputFormat::kLong;
  EXPECT_EQ(
      render(options, {cached, noSums}),
      "  4294967297  8124  0123456789abcdef0123456789abcdef cafef00d 00000001  cache  "
      "Q:\\d\\a\"b.txt\n"
      "           0  0000  -                                -        -         cache  Q:\\x\n");
  options.format = OutputFormat::kJson;
  EXPECT_EQ(render(options, {cached, walked}),
            "{\"path\":\"Q:\\\\d\\\\a\\\"b.txt\",\"drive_path\":\"Q:\\\\d\\\\a\\\"b.txt\","
            "\"size\":4294967297,\"attributes\":33060,\"md5\":\"0123456789abcdef0123456789abcdef\","
            "\"crc32\":\"cafef00d\",\"q32\":\"00000001\",\"source\":\"cache\"}\n"
            "{\"path\":\"Q:\\\\d\\\\e\u00e9\\n.c\",\"drive_path\":\"Q:\\\\d\\\\e\u00e9\\n.c\","
            "\"size\":7,\"attributes\":33206,\"md5\":null,\"crc32\":null,\"q32\":null,"
            "\"source\":\"disk\"}\n");
  std::string escaped;
  appendJsonEscaped(std::string("\x01\t\x1f\x7f/\xc3\xa9", 7), &escaped);
  EXPECT_EQ(escaped, "\\u0001\\t\\u001f\\u007f/\xc3\xa9");
}

TEST(FsqueryOutput, ResultSinkJoinsDirectoryAndNameOnce) {
  EXPECT_EQ(
      joinPath(u"C:\\a\\", u"b") + u"|" + joinPath(u"C:\\a", u"b") + u"|" + joinPath(nullptr, u"b"),
      u"C:\\a\\b|C:\\a\\b|b");
  std::FILE* out = std::tmpfile();
  OutputWriter writer(out, OutputOptions{OutputFormat::kCount, false, '\n'}, false);
  ResultSink sink(&writer);
  sink.addFile(u"C:\\a\\", u"b", 1, 0, 0, u"0", 0, 0);
  sink.addFileInfo(nullptr);               // counted, never dereferenced
  EXPECT_EQ(sink.walkedDirectory(), u"");  // files from the cache are not walked
  FsFileInfo walked;
  walked.setDirectory(u"C:\\w");
  walked.setName(u"f");
  sink.addFileInfo(&walked);
  EXPECT_EQ(sink.found().load(), 3u);
  EXPECT_EQ(sink.walkedDirectory(), u"C:\\w");
  writer.finish();
  std::fclose(out);
}

TEST(FsqueryOutput, ProgressLineFitsTheTerminal) {
  const std::string counted = "fsquery: searching, 42 files found";
  EXPECT_EQ(progressText(42, "", 80), counted + "...");
  EXPECT_EQ(progressText(42, "/usr/include", 80), counted + ": /usr/include");
  // Exactly width - 1 columns fit; one more cuts the beginning of the directory.
  const std::string directory = "/usr/include/x86_64-linux-gnu/\xc3\xa9";
  const size_t fitting = counted.size() + 2 + textColumns(directory) + 1;
  EXPECT_EQ(progressText(42, directory, fitting), counted + ": " + directory);
  EXPECT_EQ(progressText(42, directory, fitting - 1),
            counted + ": .../include/x86_64-linux-gnu/\xc3\xa9");
  EXPECT_EQ(textColumns(progressText(42, directory, fitting - 1)), fitting - 2);
  // Too narrow for a useful part of the directory, or even for the count.
  EXPECT_EQ(progressText(42, directory, counted.size() + 2 + 11), counted + "...");
  EXPECT_EQ(progressText(42, directory, counted.size() + 2 + 12), counted + ": ...ux-gnu/\xc3\xa9");
  EXPECT_EQ(progressText(42, directory, 0), counted + "...");
}

TEST(FsqueryFailures, TracesAndCodesBecomeReasons) {
  // The traces heard and, in cache-only mode, the cache's own result.
  const std::tuple<const char*, int, const char*> cases[] = {
      {"FS_MonitorProvider::create - unable to start monitor!\n"
       "FS_MonitorProvider::executeMonitor() - ERROR_FILE_NOT_FOUND\n",
       0, "monitor not started: no fsmon program in BIN"},
      {"FS_MonitorProvider::create - unable to start monitor!\n", 0, "monitor not started ("},
      {"FS_MonitorProvider::create - unable create FS_Cache object!\n", 0, "cache object"},
      {"FS_MonitorProvider::executeQuery - create cache failed with error -52\n", 0,
       "cache busy: another process uses the cache in HOME"},
      {"FS_MonitorProvider::executeQueryEx - exit -40\n", 0, "cache corrupted"},
      {"FS_Cache::openCache() - cache corrupted or directoriesIndex invalid\n", 0,
       "cache corrupted"},
      {"FS_MonitorProvider::executeQuery - exit -41\n", 0, "timed out (raise --timeout)"},
      {"", CACHE_BUILD_TIMED_OUT, "while scanning the disk"},
      {"", GENERAL_FAILURE, "could not be opened or created"},
      {"", CACHE_LOCK_TIMED_OUT, "cache busy"},
      {"", PROCESS_FAILURE, "internal code -63"},
      {"FS_MonitorProvider::executeQuery - exit x\n", 0, "FSCANNER_TRACE"},
  };
  for (const auto& [traces, code, expected] : cases) {
    FailureWatch watch;
    watch.stopWatching();
    watch.notice(traces);
    const std::string reason = describeFailure(watch.facts(), code, "HOME", "BIN");
    EXPECT_NE(reason.find(expected), std::string::npos) << reason;
  }
  // The watch hears the traces of the process while it lives.
  FailureWatch live;
  FS_TRACE(getZrLogFs(), "FS_MonitorProvider::create - cache lock timed out!\n");
  live.stopWatching();
  FS_TRACE(getZrLogFs(), "FS_MonitorProvider::create - unable create FS_Cache object!\n");
  EXPECT_TRUE(live.facts().cacheBusy);
  EXPECT_FALSE(live.facts().noCacheObject);
  std::string hostResults;  // the host's results of internal codes
  for (int code : {int{SUCCESS}, int{QUERY_TIMED_OUT}, int{CACHE_BUILD_TIMED_OUT},
                   int{CACHE_LOCK_TIMED_OUT}, int{CACHE_INVALID}, int{GENERAL_FAILURE}, 1}) {
    hostResults += std::to_string(toHostResult(code));
  }
  EXPECT_EQ(hostResults, "0222111");
}

TEST(FsqueryBatch, WordsQuotesAndOneEndLinePerQuery) {
  std::vector<std::string> words;
  std::string error;
  ASSERT_TRUE(
      splitWords(" -c '[FILENAME]==\"a b\"'  C:\\x\\y \"q\\\"t\\\\\"\t'' ", &words, &error));
  EXPECT_EQ(words,
            (std::vector<std::string>{"-c", "[FILENAME]==\"a b\"", "C:\\x\\y", "q\"t\\", ""}));
  EXPECT_FALSE(splitWords("-c 'open", &words, &error));
  EXPECT_EQ(error, "the quote ' at column 4 is not closed");

  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::fputs("C:\\a --count\n\n  # skipped\n--home C:\\h C:\\b\n-c 'x\nC:\\c --flat C:\\d", in);
  std::rewind(in);
  std::vector<std::string> asked;
  const int status = runBatch(in, out, [&](QueryRequest& request, uint64_t* matches) {
    asked.push_back(narrow(request.query.included.front().path()) +
                    std::to_string(request.query.included.size()));
    *matches = asked.size();
    return asked.size() == 1 ? 0 : 2;
  });
  EXPECT_EQ(status, 2);
  EXPECT_EQ(asked, (std::vector<std::string>{"C:\\a1", "C:\\c2"}));
  std::rewind(out);
  char line[128];
  std::vector<std::string> ends;
  while (std::fgets(line, sizeof line, out) != nullptr) {
    ends.push_back(std::string(line).substr(0, std::string(line).rfind(' ')));
  }
  EXPECT_EQ(ends, (std::vector<std::string>{"#end 0 1", "#end 64 0", "#end 64 0", "#end 2 2"}));
  std::fclose(in);
  std::fclose(out);
}

}  // namespace
