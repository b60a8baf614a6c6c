// The real plug-in libraries, loaded and driven through our host code.
#include "PluginFixture.h"

#include "framework/EffectRecord.h"

#include <cstring>

using namespace fw;

TEST_CASE("main of both libraries answers a record laid out as hosts expect") {
  struct Expected {
    const char *file;
    int32_t inputs, outputs, params, effectId;
  };
  const Expected cases[] = {
      {QERN_LIBRARY, 2, 2, 2, fourCharCode('Q', 'E', 'R', '2')},
      {GAIN_LIBRARY, 1, 8, 8, fourCharCode('e', 'n', 'v', 'o')},
  };
  for (const auto &c : cases) {
    CAPTURE(c.file);
    LoadedPlugin plugin(c.file);
    const EffectRecord *r = plugin->record();
    const auto *bytes = reinterpret_cast<const unsigned char *>(r);
    CHECK(bytes[0] == 0x50); // 'VstP' stored little-endian
    CHECK(bytes[1] == 0x74);
    CHECK(bytes[2] == 0x73);
    CHECK(bytes[3] == 0x56);
    CHECK(r->programCount == 16);
    CHECK(r->paramCount == c.params);
    CHECK(r->inputCount == c.inputs);
    CHECK(r->outputCount == c.outputs);
    CHECK(r->flags == 0x18u);
    CHECK(r->effectId == c.effectId);
    CHECK(r->effectVersion == 1);
    CHECK(r->inOutRatio == 1.0f);
    CHECK(r->effectObject != nullptr);
    for (unsigned char b : r->reservedTail) {
      CHECK(b == 0);
    }
    // The version probe came first, with no record.
    REQUIRE(!plugin->requests().empty());
    CHECK(plugin->requests()[0].code == kHostGetVersion);
    CHECK(plugin->requests()[0].record == nullptr);
    CHECK(plugin->dispatch(kReqIdentify) == fourCharCode('N', 'v', 'E', 'f'));
  }
}

TEST_CASE("a host that answers 0 to the version probe gets no effect") {
  for (const char *file : {QERN_LIBRARY, GAIN_LIBRARY}) {
    std::string error;
    auto library = host::PluginLibrary::load(file, error);
    REQUIRE(library != nullptr);
    host::HostAnswers answers;
    answers.version = 0;
    auto instance = host::PluginInstance::open(library->mainFunction(), error, answers);
    CHECK(instance == nullptr);
    CHECK(error.find("null") != std::string::npos);
  }
}

TEST_CASE("several instances share nothing and close with answer 1") {
  LoadedPlugin a(QERN_LIBRARY);
  LoadedPlugin b(QERN_LIBRARY);
  CHECK(a->record() != b->record());
  a->dispatch(kReqSetProgram, 0, 5);
  CHECK(a->dispatch(kReqGetProgram) == 5);
  CHECK(b->dispatch(kReqGetProgram) == 0);
  CHECK(a->close() == 1);
  CHECK(b->dispatch(kReqGetProgram) == 0);
}

TEST_CASE("loading errors are reported, not crashed on") {
  std::string error;
  CHECK(host::PluginLibrary::load("no-such-plugin-library.bin", error) == nullptr);
  CHECK(!error.empty());
}
