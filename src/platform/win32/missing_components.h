#pragma once

#include "platform/checksum_library.h"
#include "platform/web_post_component.h"

namespace sccevtmon {

// The agent's components that this build does not reach yet. Each creation or call fails as it
// does on a machine where the component is not registered: run-time error 429.

class MissingWebPost : public WebPostComponents {
 public:
  Status create(std::unique_ptr<WebPostObject>* object) override;
};

class MissingChecksumLibrary : public ChecksumLibrary {
 public:
  Status getMd5(const std::string& fileName, const std::string* contents, ChecksumOutputs& out,
                std::int16_t* result) override;
  Status getMd5WithBlock(const std::string& fileName, const std::string* contents,
                         const std::string& blockSize, ChecksumOutputs& out,
                         std::int16_t* result) override;
  // Windows' own tool computes the same digest.
  std::string operatorCommand(const std::string& fileName) override;
};

}  // namespace sccevtmon
