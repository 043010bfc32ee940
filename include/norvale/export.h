/* NorvaleDataMatrix: the mark of the public functions.
 *
 * The libraries are compiled with hidden visibility, so the shared library exports the functions
 * marked NORVALE_API and nothing else. The static library uses the same declarations and needs
 * no define. A program that links the static library into a shared library of its own, and does
 * not want to export these names from it, may define NORVALE_API as
 * __attribute__((visibility("hidden"))) before it includes the headers.
 */
#ifndef NORVALE_EXPORT_H
#define NORVALE_EXPORT_H

#ifndef NORVALE_API
#if defined(__GNUC__) || defined(__clang__)
#define NORVALE_API __attribute__((visibility("default")))
#else
#define NORVALE_API
#endif
#endif

#endif
