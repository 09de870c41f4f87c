/*
 * The entry of a plug-in module. Each plug-in defines its class set-up in
 * `main`, declared with QZ_EXT_MAIN so that it is the one exported symbol:
 *
 *     QZ_EXT_MAIN
 *     {
 *         t_class *c = class_new(...);
 *         ...
 *         return 0;
 *     }
 *
 * The host calls `main` once after loading the module. On Windows the module
 * also gets its DLL entry from module_entry.cpp, linked into every plug-in.
 * A macOS bundle exports `ext_main` instead, the entry the host looks for
 * there first.
 */
#ifndef QZ_HOST_MODULE_ENTRY_H
#define QZ_HOST_MODULE_ENTRY_H

#if defined(_WIN32)
#define QZ_EXPORT __declspec(dllexport)
#else
#define QZ_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define QZ_EXTERN_C extern "C"
#else
#define QZ_EXTERN_C
#endif

#if defined(__APPLE__)
/* The host on macOS calls `void ext_main(void *)`; the set-up routine
   becomes a private one that it calls. */
#define QZ_EXT_MAIN                                                                                \
    static int qz_ext_setup(void);                                                                 \
    QZ_EXTERN_C QZ_EXPORT void ext_main(void *resources);                                          \
    QZ_EXTERN_C QZ_EXPORT void ext_main(void * /*resources*/)                                      \
    {                                                                                              \
        (void)qz_ext_setup();                                                                      \
    }                                                                                              \
    static int qz_ext_setup(void)
#else
#define QZ_EXT_MAIN QZ_EXTERN_C QZ_EXPORT int main(void)
#endif

#endif /* QZ_HOST_MODULE_ENTRY_H */
