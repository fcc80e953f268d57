#pragma once
// Small helpers for the values passed to the office over UNO: file URLs and property lists.
//
// Threads: any thread that may call into the office's UNO runtime.

#include <com/sun/star/beans/PropertyValue.hpp>
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

}  // namespace UnoValues
