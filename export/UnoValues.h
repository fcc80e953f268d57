#pragma once
// Small helpers for the values passed to and from the office over UNO: file URLs, property
// lists, and property values read with a fallback.
//
// Threads: any thread that may call into the office's UNO runtime.

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>
#include <string>
#include <vector>

namespace UnoValues {

// A file URL for a local path (percent-encoded as the office expects); empty on failure.
rtl::OUString FileUrl(const std::string& path);
// One named property.
com::sun::star::beans::PropertyValue Property(const char* name, const com::sun::star::uno::Any& value);
// The properties as the sequence the office's calls take.
com::sun::star::uno::Sequence<com::sun::star::beans::PropertyValue> Properties(
    const std::vector<com::sun::star::beans::PropertyValue>& values);

// The value of property `name` of `object`, or `fallback` when there is no object, it has no
// such property, or the value is of another type. Never throws a UNO exception.
template <typename T>
T Value(const com::sun::star::uno::Reference<com::sun::star::beans::XPropertySet>& object, const char* name,
        T fallback) {
  if (!object.is()) return fallback;
  try {
    const rtl::OUString key = rtl::OUString::createFromAscii(name);
    const auto info = object->getPropertySetInfo();
    if (info.is() && !info->hasPropertyByName(key)) return fallback;
    T value = fallback;
    if (object->getPropertyValue(key) >>= value) return value;
  } catch (const com::sun::star::uno::Exception&) {
  }
  return fallback;
}

}  // namespace UnoValues
