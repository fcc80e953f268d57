#include "UnoValues.h"

#include <osl/file.hxx>

namespace UnoValues {

rtl::OUString FileUrl(const std::string& path) {
  rtl::OUString url;
  if (osl::FileBase::getFileURLFromSystemPath(
          rtl::OUString(path.data(), static_cast<sal_Int32>(path.size()), RTL_TEXTENCODING_UTF8), url) !=
      osl::FileBase::E_None)
    return rtl::OUString();
  return url;
}

com::sun::star::beans::PropertyValue Property(const char* name, const com::sun::star::uno::Any& value) {
  com::sun::star::beans::PropertyValue p;
  p.Name = rtl::OUString::createFromAscii(name);
  p.Value = value;
  return p;
}

com::sun::star::uno::Sequence<com::sun::star::beans::PropertyValue> Properties(
    const std::vector<com::sun::star::beans::PropertyValue>& values) {
  return com::sun::star::uno::Sequence<com::sun::star::beans::PropertyValue>(values.data(),
                                                                            static_cast<sal_Int32>(values.size()));
}

}  // namespace UnoValues
