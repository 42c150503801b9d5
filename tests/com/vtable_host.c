/* A host written in C that knows only the Windows binary layout: it loads an in-process server,
 * creates an object through its class factory's table of function pointers, checks it safe for
 * scripting and calls one method by name through IDispatch.
 *
 *   vtable_host MODULE {CLSID} METHOD [s:TEXT | i:NUMBER | n:]...
 *
 * Prints the result as "bstr:TEXT" (units above 0x7E as \uXXXX), "i4:N", "bool:N" or "empty",
 * and exits 0 when every step, the release and the module's unloading check succeed. */

#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int32_t HRESULT;
typedef struct {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
} GUID;

typedef struct VARIANT {
  uint16_t vt, r1, r2, r3;
  union {
    int32_t lVal;
    int16_t boolVal;
    double dblVal;
    uint16_t* bstrVal;
    void* record[2];
  } u;
} VARIANT;

_Static_assert(sizeof(VARIANT) == 24, "a VARIANT is 24 bytes, its value at offset 8");

typedef struct {
  VARIANT* args;
  int32_t* named;
  uint32_t argCount;
  uint32_t namedCount;
} DISPPARAMS;

/* Each interface: a pointer to its table of functions, in declaration order, object first. */
#define UNKNOWN_METHODS(Self)                            \
  HRESULT (*QueryInterface)(Self*, const GUID*, void**); \
  uint32_t (*AddRef)(Self*);                             \
  uint32_t (*Release)(Self*);

typedef struct ClassFactory ClassFactory;
typedef struct {
  UNKNOWN_METHODS(ClassFactory)
  HRESULT (*CreateInstance)(ClassFactory*, void*, const GUID*, void**);
  HRESULT (*LockServer)(ClassFactory*, int32_t);
} ClassFactoryVtbl;
struct ClassFactory {
  const ClassFactoryVtbl* vtbl;
};

typedef struct Dispatch Dispatch;
typedef struct {
  UNKNOWN_METHODS(Dispatch)
  HRESULT (*GetTypeInfoCount)(Dispatch*, uint32_t*);
  HRESULT (*GetTypeInfo)(Dispatch*, uint32_t, uint32_t, void**);
  HRESULT(*GetIDsOfNames)
  (Dispatch*, const GUID*, const uint16_t* const*, uint32_t, uint32_t, int32_t*);
  HRESULT(*Invoke)
  (Dispatch*, int32_t, const GUID*, uint32_t, uint16_t, DISPPARAMS*, VARIANT*, void*, uint32_t*);
} DispatchVtbl;
struct Dispatch {
  const DispatchVtbl* vtbl;
};

typedef struct ObjectSafety ObjectSafety;
typedef struct {
  UNKNOWN_METHODS(ObjectSafety)
  HRESULT (*GetInterfaceSafetyOptions)(ObjectSafety*, const GUID*, uint32_t*, uint32_t*);
  HRESULT (*SetInterfaceSafetyOptions)(ObjectSafety*, const GUID*, uint32_t, uint32_t);
} ObjectSafetyVtbl;
struct ObjectSafety {
  const ObjectSafetyVtbl* vtbl;
};

typedef HRESULT (*GetClassObjectFn)(const GUID*, const GUID*, void**);
typedef HRESULT (*CanUnloadNowFn)(void);

static const GUID kNull = {0, 0, 0, {0}};
static const GUID kClassFactory = {1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kDispatch = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kObjectSafety = {
    0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

static int fail(const char* step, HRESULT hr) {
  fprintf(stderr, "%s: 0x%08X\n", step, (unsigned)hr);
  return 1;
}

/* A BSTR made the way any host may make one: count, text, zero unit, in one malloc block. */
static uint16_t* makeBstr(const char* text) {
  size_t n = strlen(text);
  unsigned char* block = malloc(4 + 2 * n + 2);
  uint32_t bytes = (uint32_t)(2 * n);
  uint16_t* units = (uint16_t*)(block + 4);
  memcpy(block, &bytes, 4);
  for (size_t i = 0; i < n; ++i)
    units[i] = (unsigned char)text[i];
  units[n] = 0;
  return units;
}

static void freeBstr(uint16_t* b) {
  if (b) free((unsigned char*)b - 4);
}

static int parseGuid(const char* s, GUID* g) {
  unsigned d[11];
  if (sscanf(s, "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
             &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
    return 0;
  g->data1 = d[0];
  g->data2 = (uint16_t)d[1];
  g->data3 = (uint16_t)d[2];
  for (int i = 0; i < 8; ++i)
    g->data4[i] = (uint8_t)d[3 + i];
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 4) return fail("usage", 0);
  GUID clsid;
  if (!parseGuid(argv[2], &clsid)) return fail("clsid", 0);
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!module) return fail(dlerror(), 0);
  GetClassObjectFn getClassObject = NULL;
  CanUnloadNowFn canUnloadNow = NULL;
  /* The POSIX way to take a function from dlsym without an object-to-function cast. */
  *(void**)(&getClassObject) = dlsym(module, "DllGetClassObject");
  *(void**)(&canUnloadNow) = dlsym(module, "DllCanUnloadNow");
  if (!getClassObject || !canUnloadNow) return fail("exports", 0);

  ClassFactory* factory = NULL;
  HRESULT hr = getClassObject(&clsid, &kClassFactory, (void**)&factory);
  if (hr != 0) return fail("DllGetClassObject", hr);
  Dispatch* dispatch = NULL;
  hr = factory->vtbl->CreateInstance(factory, NULL, &kDispatch, (void**)&dispatch);
  factory->vtbl->Release(factory);
  if (hr != 0) return fail("CreateInstance", hr);

  ObjectSafety* safety = NULL;
  hr = dispatch->vtbl->QueryInterface(dispatch, &kObjectSafety, (void**)&safety);
  if (hr != 0) return fail("QueryInterface(IObjectSafety)", hr);
  hr = safety->vtbl->SetInterfaceSafetyOptions(safety, &kDispatch, 3, 3);
  safety->vtbl->Release(safety);
  if (hr != 0) return fail("SetInterfaceSafetyOptions", hr);

  uint16_t name[64] = {0};
  for (size_t i = 0; argv[3][i] && i < 63; ++i)
    name[i] = (unsigned char)argv[3][i];
  const uint16_t* names[1] = {name};
  int32_t dispid = 0;
  hr = dispatch->vtbl->GetIDsOfNames(dispatch, &kNull, names, 1, 0x409, &dispid);
  if (hr != 0) return fail("GetIDsOfNames", hr);

  uint32_t count = (uint32_t)(argc - 4);
  VARIANT args[8];
  memset(args, 0, sizeof args);
  if (count > 8) return fail("too many arguments", 0);
  for (uint32_t i = 0; i < count; ++i) {
    const char* arg = argv[4 + i];
    VARIANT* v = &args[count - 1 - i]; /* last-first */
    if (strncmp(arg, "s:", 2) == 0) {
      v->vt = 8;
      v->u.bstrVal = makeBstr(arg + 2);
    } else if (strncmp(arg, "i:", 2) == 0) {
      v->vt = 3;
      v->u.lVal = atoi(arg + 2);
    } else {
      v->vt = 1;
    }
  }
  DISPPARAMS params = {args, NULL, count, 0};
  VARIANT result;
  memset(&result, 0, sizeof result);
  uint32_t argErr = 0;
  hr = dispatch->vtbl->Invoke(dispatch, dispid, &kNull, 0x409, 1, &params, &result, NULL, &argErr);
  for (uint32_t i = 0; i < count; ++i)
    if (args[i].vt == 8) freeBstr(args[i].u.bstrVal);
  if (hr != 0) return fail("Invoke", hr);

  if (result.vt == 8) {
    uint16_t* b = result.u.bstrVal;
    uint32_t bytes;
    memcpy(&bytes, (unsigned char*)b - 4, 4);
    printf("bstr:");
    for (uint32_t i = 0; i < bytes / 2; ++i) {
      if (b[i] >= 0x20 && b[i] < 0x7F)
        putchar(b[i]);
      else
        printf("\\u%04X", b[i]);
    }
    printf("\n");
    if (b[bytes / 2] != 0) return fail("BSTR without its zero unit", 0);
    freeBstr(b);
  } else if (result.vt == 3) {
    printf("i4:%d\n", result.u.lVal);
  } else if (result.vt == 11) {
    printf("bool:%d\n", result.u.boolVal);
  } else {
    printf(result.vt == 0 ? "empty\n" : "vt:%u\n", result.vt);
  }

  if (dispatch->vtbl->Release(dispatch) != 0) return fail("Release left references", 0);
  hr = canUnloadNow();
  if (hr != 0) return fail("DllCanUnloadNow", hr);
  dlclose(module);
  return 0;
}
