// Hostile criteria texts: nothing crashes, hangs, overflows the stack or exhausts memory; every
// text gives a result or -1. The checks run in a thread with a small stack to prove that the
// parse, the walk and the tree's destruction stay within a fixed depth.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "criteria/criteria_fixture.h"
#include "criteria/syntax_analyzer.h"
#include "support/trace_capture.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// The thread stack the checks must fit in; AddressSanitizer's redzones make frames several times
// larger.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FSCANNER_HOSTILE_ASAN
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(FSCANNER_HOSTILE_ASAN)
constexpr size_t kSmallStack = 1024 * 1024;
#else
constexpr size_t kSmallStack = 256 * 1024;
#endif

constexpr size_t kHuge = 100000;

// head, then piece count times.
std::u16string repeat(const std::u16string& piece, size_t count, const char16_t* head = u"") {
  std::u16string out = head;
  out.reserve(out.size() + piece.size() * count);
  for (size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// Evaluates twice: the first time parses, the second walks the tree.
void expectTwice(const std::u16string& text, int expected, FieldList* columns = nullptr) {
  CriteriaEvaluator evaluator(text.c_str());
  SCOPED_TRACE(excerpt(text));
  EXPECT_EQ(evaluator.evaluate(columns, nullptr, false), expected);
  EXPECT_EQ(evaluator.evaluate(columns, nullptr, false), expected);
}

void hostileTexts() {
  FileColumns file;
  {
    TraceCapture traces;
    expectTwice(repeat(u"(", kHuge) + u"1" + repeat(u")", kHuge), -1);
    EXPECT_TRUE(traces.contains("SyntaxAnalyzer::factor - nesting deeper than 256 levels!\n"));
  }
  size_t limit = SyntaxAnalyzer::kMaxNesting;
  expectTwice(repeat(u"(", limit) + u"1" + repeat(u")", limit), 1);
  expectTwice(repeat(u"(", limit + 1) + u"1" + repeat(u")", limit + 1), -1);
  expectTwice(repeat(u"-", kHuge) + u"1", -1);
  expectTwice(repeat(u"-", limit) + u"1", 1);
  expectTwice(repeat(u"!", kHuge) + u"0", -1);

  // Long chains are loops, and their trees as deep as they are long.
  expectTwice(repeat(u"+1", kHuge - 1, u"1"), static_cast<int>(kHuge));
  expectTwice(repeat(u"*1", kHuge, u"1"), 1);
  expectTwice(repeat(u" && 1==1", kHuge, u"1==1"), 1);
  expectTwice(repeat(u" || 0", kHuge, u"0") + u" || 1", 1);
  expectTwice(repeat(u"<1", kHuge - 1, u"0"), 1);
  expectTwice(repeat(u"+\"ab\"", kHuge, u"\"\"") + u" == \"\"", 0);
  // Right-leaning trees as deep as the nesting limit allows.
  expectTwice(repeat(u"1+(", limit) + u"1" + repeat(u")", limit), static_cast<int>(limit) + 1);
  expectTwice(repeat(u"1==1&&(", limit) + u"1" + repeat(u")", limit), 1);

  // Literals and fields near the string space.
  std::u16string fits(3 * 1024 * 1024, u'x');
  file.setString(u"FILENAME", fits);
  expectTwice(u"[FILENAME] == \"" + fits + u"\"", 1, &file.list);
  expectTwice(u"[FILENAME] == {\"" + fits + u"\"}", 1, &file.list);
  expectTwice(u"[FILENAME] == \"" + fits + u"*\"", 1, &file.list);

  // A set literal of a million duplicates.
  expectTwice(repeat(u"\"a\",", 1000000, u"[FILENAME] == {") + u"\"b\"}", 0, &file.list);

  // Zero-like characters are unrecognised; the text ends at a real zero.
  for (const char16_t* text : {u"1 == \uFEFF0", u"1 == \u24EA", u"1 == \uFF10", u"1 == \u0660"}) {
    expectTwice(text, -1);
  }
  expectTwice(std::u16string(u"1 == 1\0 garbage ((", 18), 1);

  // Arithmetic without a defined result.
  expectTwice(u"(0-9223372036854775807-1)*-1 == 0-9223372036854775807-1", 1);
  expectTwice(u"-(0-9223372036854775807-1) < 0", 1);
}

#if defined(_WIN32)
// A thread function has the system's calling convention, which a lambda cannot take on 32-bit
// Windows.
DWORD WINAPI runBody(LPVOID body) {
  (*static_cast<const std::function<void()>*>(body))();
  return 0;
}
#else
void* runBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return nullptr;
}
#endif

void runWithStack(size_t bytes, const std::function<void()>& body) {
  void* argument = const_cast<std::function<void()>*>(&body);
#if defined(_WIN32)
  HANDLE thread =
      CreateThread(nullptr, bytes, runBody, argument, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
#else
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, runBody, argument), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
#endif
}

TEST(CriteriaHostileTest, HostileTextsOnASmallStack) { runWithStack(kSmallStack, hostileTexts); }

// A text of a million set literals. Unbounded, their sets alone would take gigabytes; in a child
// whose address space is limited to 256 MiB the text gives a result or a traced failure (no
// abort by an escaping std::bad_alloc), and with room enough it fails on the sets' bound.
TEST(CriteriaHostileTest, SetLiteralsStayWithinBoundedMemory) {
  const std::u16string text = repeat(u"{}=={}&&", 512 * 1024) + u"1";
#if !defined(_WIN32) && !defined(FSCANNER_HOSTILE_ASAN) && !defined(__SANITIZE_ADDRESS__)
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const rlim_t bytes = 256 * 1024 * 1024;
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
    TraceCapture traces;
    int result = evaluateOnce(text);
    _exit(result != -1 ? 0 : traces.records().empty() ? 2 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_LE(WEXITSTATUS(status), 1);
#endif
  TraceCapture traces;
  EXPECT_EQ(evaluateOnce(text), -1);
  EXPECT_TRUE(traces.contains("SyntaxAnalyzer::factor - set literals need more than " +
                              std::to_string(CriteriaLexer::kMaxPatternSetBytes) + " bytes!\n"));
#if defined(_WIN32)
  GTEST_SKIP() << "no fork() here to limit a child's address space";
#elif defined(FSCANNER_HOSTILE_ASAN) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of shadow memory: RLIMIT_AS cannot apply";
#endif
}

}  // namespace
