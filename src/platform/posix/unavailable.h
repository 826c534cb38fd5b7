#pragma once

#include "platform/web_post.h"

namespace sccevtmon {

// TODO(web post transport): replace with the libcurl component. Until then no component can be
// created.
class UnavailableWebPost : public WebPostComponents {
 public:
  Status create(std::unique_ptr<WebPostObject>* object) override;
};

}  // namespace sccevtmon
