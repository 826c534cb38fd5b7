// The readers of exported logs through the file-system seam: no log is ever read whole.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "evtx/evtx.h"
#include "platform/eventlog/evtx_events.h"
#include "platform/eventlog/rendered_xml_reader.h"
#include "testing/fake_file_system.h"

namespace sccevtmon {
namespace {

// An .evtx file of the given chunk slots: 'c' a chunk whose header says it holds records
// (none decodes), 'e' a chunk whose header says it holds none, '-' an unused slot (zeros, as
// in the holes of a sparse file).
std::string evtxFile(const std::string& slots) {
  std::string file(evtx::kFileHeaderSize, '\0');
  std::memcpy(file.data(), "ElfFile", 8);
  for (char slot : slots) {
    std::string chunk(evtx::kChunkSize, '\0');
    if (slot != '-') {
      std::memcpy(chunk.data(), "ElfChnk", 8);
      std::uint32_t freeOffset = slot == 'c' ? 4096 : 512;
      std::memcpy(chunk.data() + 48, &freeOffset, 4);
    }
    file += chunk;
  }
  return file;
}

std::string renderedExport(int events) {
  std::string event =
      "<Event><System><Provider Name=\"p\"/><EventID>1</EventID><Level>4</Level>"
      "<TimeCreated SystemTime=\"2020-01-01T00:00:00.0000000Z\"/><EventRecordID>1"
      "</EventRecordID></System><EventData><Data>" +
      std::string(200, 'x') + "</Data></EventData></Event>\n";
  std::string file = "<Events>\n";
  for (int i = 0; i < events; ++i) file += event;
  return file + "</Events>\n";
}

TEST(ExportedLogReadTest, NoReadIsLargerThanAChunkAndEmptySlotsCostTheirHeader) {
  struct Case {
    const char* name;
    std::string content;
    bool evtx;
    std::size_t largestRead;  // at most
    std::uint64_t bytesRead;  // at most
  };
  const std::string busy = evtxFile(std::string(40, 'c'));
  const std::string rendered = renderedExport(6000);
  const std::string sparse = evtxFile(std::string(600, '-') + "c" + std::string(400, 'e'));
  const Case cases[] = {
      {"40 chunks with records", busy, true, evtx::kChunkSize, busy.size()},
      {"a sparse file with one chunk", sparse, true, evtx::kChunkSize,
       evtx::kFileHeaderSize + evtx::kChunkSize + 1000 * evtx::kChunkHeaderSize},
      {"a rendered export of 2.4 MB", rendered, false, XmlElementStream::kReadBlockBytes,
       rendered.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    files.addFile("/logs/Security.log", c.content);
    EventLogContents contents;
    Status s = c.evtx
                   ? readEvtxExport(files, "/logs/Security.log", EventWindow{}, &contents)
                   : readRenderedXmlExport(files, "/logs/Security.log", EventWindow{}, &contents);
    EXPECT_TRUE(s.ok()) << s.description;
    EXPECT_GT(files.largestRead, 0u);
    EXPECT_LE(files.largestRead, c.largestRead);
    EXPECT_LE(files.bytesRead, c.bytesRead);
  }
}

TEST(ExportedLogReadTest, AFileThatCannotBeOpenedOrReadNamesItself) {
  FakeFileSystem files;
  files.addFile("/logs/System.evtx", evtxFile("cc"));
  files.fail = [](const std::string& op, const std::string&) {
    return op == "readAt" ? runtimeError(kErrDeviceIo) : Status::success();
  };
  EventLogContents contents;
  Status s = readEvtxExport(files, "/logs/System.evtx", EventWindow{}, &contents);
  EXPECT_EQ(s.number, kErrAutomation);
  EXPECT_EQ(s.description.rfind("The event log file /logs/System.evtx cannot be read: ", 0), 0u)
      << s.description;
  s = readEvtxExport(files, "/logs/Missing.evtx", EventWindow{}, &contents);
  EXPECT_EQ(s.description.rfind("The event log file /logs/Missing.evtx cannot be opened as an "
                                "event log: ",
                                0),
            0u)
      << s.description;
}

}  // namespace
}  // namespace sccevtmon
