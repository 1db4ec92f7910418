/*
 * Squirrel 3.1 public C API.
 *
 * Values pass between the host and the VM through the VM's stack: index 1 is the base of the
 * current frame, -1 the top. Configuration: 32-bit integers, 32-bit floats, 8-bit characters.
 *
 * Each function notes its stack effect as [-p +q]: it pops p values and then pushes q, on
 * success; "(x)" counts 1 when the flag x is set. A failing call returns SQ_ERROR, mostly with
 * the last error set (sq_getlasterror), and pushes nothing; it may pop less than on success
 * (noted where it matters).
 * Strings and memory the API returns belong to the VM. A runtime and all its threads are used
 * from one OS thread at a time. Groups: VM, compiler, stack, creating and reading values,
 * slots and containers, calls and errors, raw handles, collector, closure images, memory, debug.
 */
#ifndef SQUIRREL_H
#define SQUIRREL_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef SQUIRREL_API
#define SQUIRREL_API extern
#endif

typedef int32_t SQInteger;
typedef uint32_t SQUnsignedInteger;
typedef uint32_t SQHash;
typedef int32_t SQInt32;
typedef uint32_t SQUnsignedInteger32;
typedef float SQFloat;
typedef void *SQUserPointer;
typedef SQUnsignedInteger SQBool;
typedef SQInteger SQRESULT;
typedef char SQChar;
typedef uintptr_t SQRawObjectVal;

#define SQTrue (1)
#define SQFalse (0)

#define _SC(a) a
#define SQ_OK (0)
#define SQ_ERROR (-1)
#define SQ_FAILED(res) ((res) < 0)
#define SQ_SUCCEEDED(res) ((res) >= 0)

#define SQUIRREL_VERSION "Squirrel 3.1 stable"
#define SQUIRREL_COPYRIGHT "Copyright (C) 2003-2016 Alberto Demichelis"
#define SQUIRREL_AUTHOR "Alberto Demichelis"
#define SQUIRREL_VERSION_NUMBER 310

#define SQ_VMSTATE_IDLE 0
#define SQ_VMSTATE_RUNNING 1
#define SQ_VMSTATE_SUSPENDED 2

#define SQUIRREL_EOB 0
#define SQ_BYTECODE_STREAM_TAG 0xFAFA

#define SQOBJECT_REF_COUNTED 0x08000000
#define SQOBJECT_NUMERIC 0x04000000
#define SQOBJECT_DELEGABLE 0x02000000
#define SQOBJECT_CANBEFALSE 0x01000000

#define SQ_MATCHTYPEMASKSTRING (-99999)

#define _RT_MASK 0x00FFFFFF
#define _RAW_TYPE(type) (type & _RT_MASK)

#define _RT_NULL 0x00000001
#define _RT_INTEGER 0x00000002
#define _RT_FLOAT 0x00000004
#define _RT_BOOL 0x00000008
#define _RT_STRING 0x00000010
#define _RT_TABLE 0x00000020
#define _RT_ARRAY 0x00000040
#define _RT_USERDATA 0x00000080
#define _RT_CLOSURE 0x00000100
#define _RT_NATIVECLOSURE 0x00000200
#define _RT_GENERATOR 0x00000400
#define _RT_USERPOINTER 0x00000800
#define _RT_THREAD 0x00001000
#define _RT_FUNCPROTO 0x00002000
#define _RT_CLASS 0x00004000
#define _RT_INSTANCE 0x00008000
#define _RT_WEAKREF 0x00010000
#define _RT_OUTER 0x00020000

typedef enum tagSQObjectType {
    OT_NULL = (_RT_NULL | SQOBJECT_CANBEFALSE),
    OT_INTEGER = (_RT_INTEGER | SQOBJECT_NUMERIC | SQOBJECT_CANBEFALSE),
    OT_FLOAT = (_RT_FLOAT | SQOBJECT_NUMERIC | SQOBJECT_CANBEFALSE),
    OT_BOOL = (_RT_BOOL | SQOBJECT_CANBEFALSE),
    OT_STRING = (_RT_STRING | SQOBJECT_REF_COUNTED),
    OT_TABLE = (_RT_TABLE | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
    OT_ARRAY = (_RT_ARRAY | SQOBJECT_REF_COUNTED),
    OT_USERDATA = (_RT_USERDATA | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
    OT_CLOSURE = (_RT_CLOSURE | SQOBJECT_REF_COUNTED),
    OT_NATIVECLOSURE = (_RT_NATIVECLOSURE | SQOBJECT_REF_COUNTED),
    OT_GENERATOR = (_RT_GENERATOR | SQOBJECT_REF_COUNTED),
    OT_USERPOINTER = _RT_USERPOINTER,
    OT_THREAD = (_RT_THREAD | SQOBJECT_REF_COUNTED),
    OT_FUNCPROTO = (_RT_FUNCPROTO | SQOBJECT_REF_COUNTED),
    OT_CLASS = (_RT_CLASS | SQOBJECT_REF_COUNTED),
    OT_INSTANCE = (_RT_INSTANCE | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
    OT_WEAKREF = (_RT_WEAKREF | SQOBJECT_REF_COUNTED),
    OT_OUTER = (_RT_OUTER | SQOBJECT_REF_COUNTED)
} SQObjectType;

#define ISREFCOUNTED(t) (t & SQOBJECT_REF_COUNTED)

struct SQVM;

/* Reference types point at a VM object; plain values are stored inline. */
typedef union tagSQObjectValue {
    SQInteger nInteger;
    SQFloat fFloat;
    SQUserPointer pUserPointer;
    void *pObject;
    SQRawObjectVal raw;
} SQObjectValue;

typedef struct tagSQObject {
    SQObjectType _type;
    SQObjectValue _unVal;
} SQObject;

typedef struct tagSQMemberHandle {
    SQBool _static;
    SQInteger _index;
} SQMemberHandle;

typedef struct tagSQStackInfos {
    const SQChar *funcname;
    const SQChar *source;
    SQInteger line;
} SQStackInfos;

typedef struct SQVM *HSQUIRRELVM;
typedef SQObject HSQOBJECT;
typedef SQMemberHandle HSQMEMBERHANDLE;
typedef SQInteger (*SQFUNCTION)(HSQUIRRELVM);
typedef SQInteger (*SQRELEASEHOOK)(SQUserPointer, SQInteger size);
typedef void (*SQCOMPILERERROR)(HSQUIRRELVM, const SQChar * /*desc*/, const SQChar * /*source*/,
                                SQInteger /*line*/, SQInteger /*column*/);
typedef void (*SQPRINTFUNCTION)(HSQUIRRELVM, const SQChar *, ...);
typedef void (*SQDEBUGHOOK)(HSQUIRRELVM /*v*/, SQInteger /*type*/, const SQChar * /*sourcename*/,
                            SQInteger /*line*/, const SQChar * /*funcname*/);
typedef SQInteger (*SQWRITEFUNC)(SQUserPointer, SQUserPointer, SQInteger);
typedef SQInteger (*SQREADFUNC)(SQUserPointer, SQUserPointer, SQInteger);
typedef SQInteger (*SQLEXREADFUNC)(SQUserPointer);

typedef struct tagSQRegFunction {
    const SQChar *name;
    SQFUNCTION f;
    SQInteger nparamscheck;
    const SQChar *typemask;
} SQRegFunction;

typedef struct tagSQFunctionInfo {
    SQUserPointer funcid;
    const SQChar *name;
    const SQChar *source;
    SQInteger line;
} SQFunctionInfo;

/* VM */
/* A new VM (the main thread of a new runtime) with an empty root table and the base
   library; [-0 +0]. Close it with sq_close. */
SQUIRREL_API HSQUIRRELVM sq_open(SQInteger initialstacksize);
/* A new thread sharing friendvm's runtime, root table and error handler; [-0 +1] on
   friendvm: the thread, which lives while that value is referenced. */
SQUIRREL_API HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize);
/* [-1 +0] Pops a closure, native closure or null: the function called with the error
   value on runtime errors raised with raiseerror. Any other value is left on the stack. */
SQUIRREL_API void sq_seterrorhandler(HSQUIRRELVM v);
/* Frees the whole runtime: every thread made from it and every object. Release hooks run. */
SQUIRREL_API void sq_close(HSQUIRRELVM v);
/* A pointer of the host's own per thread (sq_*foreignptr) or per runtime (sq_*sharedforeignptr);
   never looked into. */
SQUIRREL_API void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p);
SQUIRREL_API SQUserPointer sq_getforeignptr(HSQUIRRELVM v);
SQUIRREL_API void sq_setsharedforeignptr(HSQUIRRELVM v, SQUserPointer p);
SQUIRREL_API SQUserPointer sq_getsharedforeignptr(HSQUIRRELVM v);
/* Called with the thread's foreign pointer when the thread is freed (sq_setvmreleasehook), or
   with the shared one when the runtime closes (sq_setsharedreleasehook). */
SQUIRREL_API void sq_setvmreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook);
SQUIRREL_API SQRELEASEHOOK sq_getvmreleasehook(HSQUIRRELVM v);
SQUIRREL_API void sq_setsharedreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook);
SQUIRREL_API SQRELEASEHOOK sq_getsharedreleasehook(HSQUIRRELVM v);
/* The runtime's output for print (printfunc) and error reports (errfunc); null drops them. */
SQUIRREL_API void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc, SQPRINTFUNCTION errfunc);
SQUIRREL_API SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v);
SQUIRREL_API SQPRINTFUNCTION sq_geterrorfunc(HSQUIRRELVM v);
/* Only from a native function called directly by script code (a generator's too, when script
   code resumed it): its result, returned from the native, suspends the thread (sq_call then
   returns SQ_OK with the call left on the stack). SQ_ERROR when already suspended or reached
   through another native or a metamethod. */
SQUIRREL_API SQRESULT sq_suspendvm(HSQUIRRELVM v);
/* Asks the script running on v's VM (any of its threads) to stop, for a host ending its run:
   from its next backward jump or script call on, every step raises "script stopped: the run
   is ending" (so a script that catches it cannot loop on), until the next call from the host
   begins. A request while no script runs is dropped: the next call runs as usual. Natives
   are not interrupted; their script caller stops when they return. The one function that
   may be called from any thread (while v is open); it costs the interpreter nothing until
   made. */
SQUIRREL_API void sq_requeststop(HSQUIRRELVM v);
/* Resumes a suspended thread. With resumedret it pops the top [-1] as the result of the
   suspending native; with retval pushes the value the resumed code ends with [+1]. */
SQUIRREL_API SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool resumedret, SQBool retval, SQBool raiseerror,
                                  SQBool throwerror);
/* SQ_VMSTATE_IDLE, SQ_VMSTATE_RUNNING (inside a call) or SQ_VMSTATE_SUSPENDED. */
SQUIRREL_API SQInteger sq_getvmstate(HSQUIRRELVM v);
SQUIRREL_API SQInteger sq_getversion(void);

/* compiler */
/* [-0 +1] Compiles the characters read (0 ends them) into a closure bound to the root table
   and pushes it. On a syntax error pushes nothing, returns SQ_ERROR and, with raiseerror,
   calls the compiler error handler. Nesting is bounded by the calling thread's C stack: what
   it cannot hold fails with "expression or statement nested too deeply". */
SQUIRREL_API SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p,
                                 const SQChar *sourcename, SQBool raiseerror);
/* sq_compile over size characters of s; [-0 +1]. */
SQUIRREL_API SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar *s, SQInteger size,
                                       const SQChar *sourcename, SQBool raiseerror);
/* Runtime-wide switches: line information in later compiles; the error handler called for
   every exception, caught or not (sq_notifyallexceptions). */
SQUIRREL_API void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable);
SQUIRREL_API void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable);
/* Called on each syntax error when compiling with raiseerror. */
SQUIRREL_API void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f);

/* stack operations */
/* [-0 +1] A copy of the value at idx. Indices: 1 is the first slot of the current frame,
   -1 the top; an index outside the frame reads as null. */
SQUIRREL_API void sq_push(HSQUIRRELVM v, SQInteger idx);
/* [-n +0] Never below the frame's base. */
SQUIRREL_API void sq_pop(HSQUIRRELVM v, SQInteger nelemstopop);
/* [-1 +0] */
SQUIRREL_API void sq_poptop(HSQUIRRELVM v);
/* [-1 +0] Removes the value at idx, shifting those above it down. */
SQUIRREL_API void sq_remove(HSQUIRRELVM v, SQInteger idx);
/* The number of values in the current frame (the index of the top). */
SQUIRREL_API SQInteger sq_gettop(HSQUIRRELVM v);
/* Pops or pushes nulls until the frame holds newtop values. */
SQUIRREL_API void sq_settop(HSQUIRRELVM v, SQInteger newtop);
/* Makes room for nsize more values; [-0 +0]. */
SQUIRREL_API SQRESULT sq_reservestack(HSQUIRRELVM v, SQInteger nsize);
/* Compares -1 with -2 (metamethods included): <0, 0 or >0; [-0 +0]. 0 on an error. */
SQUIRREL_API SQInteger sq_cmp(HSQUIRRELVM v);
/* [-0 +1] on dest: a copy of the value at idx of src (two threads of one runtime). */
SQUIRREL_API void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx);

/* object creation handling
   A size the VM cannot hold (a userdata near 2 GB or beyond the memory left, a table hint
   or array of more than 2^26 slots) is refused: null is pushed, the last error reads
   "out of memory", and sq_newuserdata returns NULL. */
/* [-0 +1] A userdata of size bytes; returns its memory, owned by the VM and freed with it
   (after its release hook). */
SQUIRREL_API SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size);
/* [-0 +1] */
SQUIRREL_API void sq_newtable(HSQUIRRELVM v);
/* [-0 +1] A table sized for initialcapacity slots. */
SQUIRREL_API void sq_newtableex(HSQUIRRELVM v, SQInteger initialcapacity);
/* [-0 +1] An array of size nulls. */
SQUIRREL_API void sq_newarray(HSQUIRRELVM v, SQInteger size);
/* [-nfreevars +1] A native closure whose free variables are the popped values (the former
   top becomes free variable 0). */
SQUIRREL_API void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars);
/* On the native closure at -1; [-0 +0]. nparamscheck: exact count when positive, at least -n
   when negative, 0 unchecked, SQ_MATCHTYPEMASKSTRING the mask's length. The mask has one
   letter set per parameter, `this` first ("o" null, "i", "f", "n", "s", "t", "a", "u", "c",
   "b", "g", "p", "v", "x", "y", "r", "." any; "|" joins alternatives). */
SQUIRREL_API SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar *typemask);
/* [-1 +1] Pops an environment (table, class or instance) and pushes a copy of the closure at
   idx bound to it, held weakly. */
SQUIRREL_API SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx);
/* [-1 +0] Pops a table: the root table the closure at idx sees (held weakly). */
SQUIRREL_API SQRESULT sq_setclosureroot(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] The root table of the closure at idx. */
SQUIRREL_API SQRESULT sq_getclosureroot(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] A copy of len characters of s (len < 0: up to the NUL); null s pushes null. */
SQUIRREL_API void sq_pushstring(HSQUIRRELVM v, const SQChar *s, SQInteger len);
SQUIRREL_API void sq_pushfloat(HSQUIRRELVM v, SQFloat f);
SQUIRREL_API void sq_pushinteger(HSQUIRRELVM v, SQInteger n);
SQUIRREL_API void sq_pushbool(HSQUIRRELVM v, SQBool b);
SQUIRREL_API void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p);
SQUIRREL_API void sq_pushnull(HSQUIRRELVM v);
/* [-0 +1] */
SQUIRREL_API void sq_pushthread(HSQUIRRELVM v, HSQUIRRELVM thread);
/* The type of the value at idx; [-0 +0]. */
SQUIRREL_API SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] The type name (the _typeof metamethod where one is defined). */
SQUIRREL_API SQRESULT sq_typeof(HSQUIRRELVM v, SQInteger idx);
/* Length of a string, table, array or userdata, or the user-data size of a class or
   instance; SQ_ERROR for other types. [-0 +0] */
SQUIRREL_API SQInteger sq_getsize_slow(HSQUIRRELVM v, SQInteger idx);
/* sq_getsize itself, inline below: the size of a userdata read in place, anything else
   through sq_getsize_slow. */
/* The hash the tables use for the value at idx. */
SQUIRREL_API SQHash sq_gethash(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] The base class of the class at idx, or null. */
SQUIRREL_API SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx);
/* Whether the instance at -1 (or -2) is of the class at the other slot; [-0 +0]. */
SQUIRREL_API SQBool sq_instanceof(HSQUIRRELVM v);
/* [-0 +1] The value as a string (the _tostring metamethod of tables, userdata and instances). */
SQUIRREL_API SQRESULT sq_tostring(HSQUIRRELVM v, SQInteger idx);
/* Whether the value at idx is true in a condition; [-0 +0]. */
SQUIRREL_API void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool *b);
/* The characters of the string at idx, owned by the VM: valid while the string is
   referenced. [-0 +0]; SQ_ERROR for another type. */
SQUIRREL_API SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar **c);
/* sq_getinteger and sq_getfloat convert between numbers; SQ_ERROR, out untouched, for
   any other type. [-0 +0] */
SQUIRREL_API SQRESULT sq_getinteger_slow(HSQUIRRELVM v, SQInteger idx, SQInteger *i);
SQUIRREL_API SQRESULT sq_getfloat_slow(HSQUIRRELVM v, SQInteger idx, SQFloat *f);
/* sq_getinteger and sq_getfloat themselves are inline below. */
/* SQ_ERROR for anything but a bool. [-0 +0] */
SQUIRREL_API SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool *b);
SQUIRREL_API SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM *thread);
SQUIRREL_API SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p);
/* The memory of the userdata at idx and, when typetag is given, its type tag. [-0 +0] */
SQUIRREL_API SQRESULT sq_getuserdata_slow(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer *typetag);
/* sq_getuserdata itself is inline below, with sq_getuserdataandsize. */
/* Tags a userdata or class at idx; instances report their class's tag. [-0 +0] */
SQUIRREL_API SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag);
SQUIRREL_API SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer *typetag);
/* Called when the userdata, instance or class at idx is freed, with the userdata's memory
   and size, the instance's user pointer, or the class's type tag. [-0 +0] */
SQUIRREL_API void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook);
SQUIRREL_API SQRELEASEHOOK sq_getreleasehook(HSQUIRRELVM v, SQInteger idx);
/* A buffer of at least minsize bytes owned by the runtime, reused by the next call. */
SQUIRREL_API SQChar *sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize);
/* The function running level frames below the current one; fields point into VM strings. */
SQUIRREL_API SQRESULT sq_getfunctioninfo(HSQUIRRELVM v, SQInteger level, SQFunctionInfo *fi);
/* Parameter and free-variable counts of the closure at idx. [-0 +0] */
SQUIRREL_API SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger *nparams,
                                        SQUnsignedInteger *nfreevars);
/* [-0 +1] The name of the closure at idx (null when anonymous). */
SQUIRREL_API SQRESULT sq_getclosurename(HSQUIRRELVM v, SQInteger idx);
/* The name a native closure reports in call stacks. [-0 +0] */
SQUIRREL_API SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar *name);
/* The host pointer of the instance at idx, never looked into (see sq_setreleasehook). [-0 +0] */
SQUIRREL_API SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p);
/* The instance's host pointer; with a type tag, SQ_ERROR unless the instance's class or a
   base of it carries that tag. [-0 +0] */
SQUIRREL_API SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer typetag);
/* Bytes of user data each new instance of the class at idx gets, before instantiation. [-0 +0] */
SQUIRREL_API SQRESULT sq_setclassudsize(HSQUIRRELVM v, SQInteger idx, SQInteger udsize);
/* [-(hasbase) +1] A new class; with hasbase, pops its base class first. */
SQUIRREL_API SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase);
/* [-0 +1] An instance of the class at idx, without calling its constructor. */
SQUIRREL_API SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx);
/* [-2 +1] Pops key and value and sets the attributes of that member of the class at idx
   (null key: the class's own); pushes the previous attributes. */
SQUIRREL_API SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx);
/* [-1 +1] Pops a member key (null: the class) and pushes its attributes. */
SQUIRREL_API SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] The class of the instance at idx. */
SQUIRREL_API SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] A weak reference to the object at idx; plain values are pushed as they are. */
SQUIRREL_API void sq_weakref(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] The table of built-in methods of the type. */
SQUIRREL_API SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t);
/* [-1 +0] Pops a member name of the class at idx and fills a handle for fast access. */
SQUIRREL_API SQRESULT sq_getmemberhandle(HSQUIRRELVM v, SQInteger idx, HSQMEMBERHANDLE *handle);
/* [-0 +1] The member of the class or instance at idx. */
SQUIRREL_API SQRESULT sq_getbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle);
/* [-1 +0] Pops the member's new value. */
SQUIRREL_API SQRESULT sq_setbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle);

/* object manipulation */
/* [-0 +1] (sq_pushregistrytable: the runtime's registry, for the host only;
   sq_pushconsttable: the constants the compiler folds.) */
SQUIRREL_API void sq_pushroottable(HSQUIRRELVM v);
SQUIRREL_API void sq_pushregistrytable(HSQUIRRELVM v);
SQUIRREL_API void sq_pushconsttable(HSQUIRRELVM v);
/* [-1 +0] Pops a table (or null) as this thread's root table. */
SQUIRREL_API SQRESULT sq_setroottable(HSQUIRRELVM v);
/* [-1 +0] Pops a table as the runtime's constant table. */
SQUIRREL_API SQRESULT sq_setconsttable(HSQUIRRELVM v);
/* [-2 +0] Pops key and value and creates or sets that slot of the table or class at idx
   (a static member with bstatic). A null key is refused before anything is popped. */
SQUIRREL_API SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic);
/* [-1 +(pushval)] Pops a key and removes it from the table at idx (a _delslot metamethod
   of its delegate applies); with pushval pushes the removed value. */
SQUIRREL_API SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
/* [-2 +0] Pops key and value and sets the slot of the object at idx (metamethods apply);
   fails, popping nothing, when the slot does not exist. */
SQUIRREL_API SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx);
/* [-1 +1] Pops a key and pushes that slot of the object at idx (delegates and metamethods
   apply); on failure pushes nothing. */
SQUIRREL_API SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx);
/* [-1 +1] sq_get without delegates or metamethods. */
SQUIRREL_API SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx);
/* [-2 +0] sq_set without metamethods; a table gets the slot created. */
SQUIRREL_API SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx);
/* [-1 +(pushval)] sq_deleteslot without metamethods; a missing key pushes null. */
SQUIRREL_API SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
/* [-3 +0] Pops key, value and attributes and adds the member to the class at idx (the
   _newmember metamethod applies unless raw). */
SQUIRREL_API SQRESULT sq_newmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic);
SQUIRREL_API SQRESULT sq_rawnewmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic);
/* [-1 +0] Pops a value onto the end of the array at idx. */
SQUIRREL_API SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx);
/* [-0 +(pushval)] Removes the last item; with pushval pushes it. */
SQUIRREL_API SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
/* New items are null. [-0 +0] */
SQUIRREL_API SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize);
SQUIRREL_API SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx);
/* Removes item itemidx (0-based). [-0 +0] */
SQUIRREL_API SQRESULT sq_arrayremove(HSQUIRRELVM v, SQInteger idx, SQInteger itemidx);
/* [-1 +0] Pops a value and inserts it before item destpos (0-based). */
SQUIRREL_API SQRESULT sq_arrayinsert(HSQUIRRELVM v, SQInteger idx, SQInteger destpos);
/* [-1 +0] Pops a table (or null) as the delegate of the table or userdata at idx. */
SQUIRREL_API SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] The delegate of the table or userdata at idx, or null. */
SQUIRREL_API SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] A shallow copy of the object at idx (the _cloned metamethod applies). */
SQUIRREL_API SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx);
/* [-1 +0] Pops the new value of free variable nval of the closure at idx. */
SQUIRREL_API SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval);
/* [-0 +2] Iterates the object at idx with the iterator at -1 (start with null): updates it
   and pushes key and value; SQ_ERROR, pushing nothing, at the end. Pop the pair each step.
   The iterator's value means nothing outside sq_next. */
SQUIRREL_API SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx);
/* [-0 +1] The object the weak reference at idx points to, or null when it is gone. */
SQUIRREL_API SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx);
/* Empties the table or array at idx. [-0 +0] */
SQUIRREL_API SQRESULT sq_clear(HSQUIRRELVM v, SQInteger idx);

/* calls */
/* Calls the closure at -(params+1) with the params values above it (`this` first). [-params +(retval)]:
   the arguments are popped, the closure stays; with retval the result is pushed. On a runtime
   error returns SQ_ERROR (the error is sq_getlasterror's), the error handler having run when
   raiseerror. A call that suspends returns SQ_OK and leaves its arguments. Calls between
   natives and scripts nest on the C stack: past 100 nested entries and natives in one thread,
   or where the calling thread's stack runs short, a call fails with "Native stack overflow". */
SQUIRREL_API SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror);
/* [-0 +(retval)] Resumes the generator at -1; with retval pushes what it yields. */
SQUIRREL_API SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror);
/* [-0 +1] The idx-th local (free variables first) of the closure running level frames below
   the current one, and returns its name; null, pushing nothing, when there is none. */
SQUIRREL_API const SQChar *sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx);
/* [-0 +1] The closure that called the running native. */
SQUIRREL_API SQRESULT sq_getcallee(HSQUIRRELVM v);
/* [-0 +1] Free variable nval of the closure at idx; returns its name, or null (nothing
   pushed) when there is none. */
SQUIRREL_API const SQChar *sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval);
/* Sets the last error to the message and returns SQ_ERROR: return it from a native to raise
   the error. [-0 +0] */
SQUIRREL_API SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar *err);
/* [-1 +0] The same with the popped value as the error. */
SQUIRREL_API SQRESULT sq_throwobject(HSQUIRRELVM v);
SQUIRREL_API void sq_reseterror(HSQUIRRELVM v);
/* [-0 +1] The last error (null after sq_reseterror). */
SQUIRREL_API void sq_getlasterror(HSQUIRRELVM v);

/* raw object handling */
/* A handle to the value at idx without a reference: valid only while the value is
   referenced elsewhere; sq_addref keeps it. [-0 +0] */
SQUIRREL_API SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT *po);
/* [-0 +1] */
SQUIRREL_API void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj);
/* Host references: each sq_addref keeps the object alive until the matching sq_release,
   which returns true when the last host reference went. Plain values are not counted. */
SQUIRREL_API void sq_addref(HSQUIRRELVM v, HSQOBJECT *po);
SQUIRREL_API SQBool sq_release(HSQUIRRELVM v, HSQOBJECT *po);
/* Host references held (sq_addref); sq_getvmrefcount counts every reference. */
SQUIRREL_API SQUnsignedInteger sq_getrefcount(HSQUIRRELVM v, HSQOBJECT *po);
SQUIRREL_API void sq_resetobject(HSQOBJECT *po);
/* Readers of a handle: the value when it has that type (a number converts to a number),
   else null, false or 0. */
SQUIRREL_API const SQChar *sq_objtostring(const HSQOBJECT *o);
SQUIRREL_API SQBool sq_objtobool(const HSQOBJECT *o);
SQUIRREL_API SQInteger sq_objtointeger(const HSQOBJECT *o);
SQUIRREL_API SQFloat sq_objtofloat(const HSQOBJECT *o);
SQUIRREL_API SQUserPointer sq_objtouserpointer(const HSQOBJECT *o);
/* The type tag of a userdata, class or instance (its class's); SQ_ERROR for other types. */
SQUIRREL_API SQRESULT sq_getobjtypetag(const HSQOBJECT *o, SQUserPointer *typetag);
SQUIRREL_API SQUnsignedInteger sq_getvmrefcount(HSQUIRRELVM v, const HSQOBJECT *po);

/* GC */
/* Frees the unreachable cycles; returns how many objects went. Values are also freed as their
   last reference drops, without this. */
SQUIRREL_API SQInteger sq_collectgarbage(HSQUIRRELVM v);
/* [-0 +1] An array of the objects that are unreachable (kept alive by it), or null. */
SQUIRREL_API SQRESULT sq_resurrectunreachable(HSQUIRRELVM v);

/* serialization */
/* Writes the closure at -1 through writef, which returns the bytes written. Closures with
   free variables are refused; default parameter values are not saved (null once loaded).
   [-0 +0] */
SQUIRREL_API SQRESULT sq_writeclosure(HSQUIRRELVM vm, SQWRITEFUNC writef, SQUserPointer up);
/* [-0 +1] Reads a closure image through readf (which returns the bytes read), checks every
   instruction against its function and pushes the closure; SQ_ERROR, nothing pushed, for a
   damaged or foreign image, or one nesting functions deeper than the C stack allows. */
SQUIRREL_API SQRESULT sq_readclosure(HSQUIRRELVM vm, SQREADFUNC readf, SQUserPointer up);

/* memory */
/* The VM's allocator (malloc and free underneath); size 0 is taken as 1. */
SQUIRREL_API void *sq_malloc(SQUnsignedInteger size);
SQUIRREL_API void *sq_realloc(void *p, SQUnsignedInteger oldsize, SQUnsignedInteger newsize);
SQUIRREL_API void sq_free(void *p, SQUnsignedInteger size);

/* debug */
/* The function, source and line of the frame level below the current one (0 the running
   one); strings point into the VM. SQ_ERROR past the outermost frame. */
SQUIRREL_API SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos *si);
/* [-1 +0] Pops a closure, native closure or null: called on each line, call and return of
   script code; replaces a native hook. */
SQUIRREL_API void sq_setdebughook(HSQUIRRELVM v);
/* The same as a C function (null removes it). */
SQUIRREL_API void sq_setnativedebughook(HSQUIRRELVM v, SQDEBUGHOOK hook);

#define sq_isnumeric(o) ((o)._type & SQOBJECT_NUMERIC)
#define sq_istable(o) ((o)._type == OT_TABLE)
#define sq_isarray(o) ((o)._type == OT_ARRAY)
#define sq_isfunction(o) ((o)._type == OT_FUNCPROTO)
#define sq_isclosure(o) ((o)._type == OT_CLOSURE)
#define sq_isgenerator(o) ((o)._type == OT_GENERATOR)
#define sq_isnativeclosure(o) ((o)._type == OT_NATIVECLOSURE)
#define sq_isstring(o) ((o)._type == OT_STRING)
#define sq_isinteger(o) ((o)._type == OT_INTEGER)
#define sq_isfloat(o) ((o)._type == OT_FLOAT)
#define sq_isuserpointer(o) ((o)._type == OT_USERPOINTER)
#define sq_isuserdata(o) ((o)._type == OT_USERDATA)
#define sq_isthread(o) ((o)._type == OT_THREAD)
#define sq_isnull(o) ((o)._type == OT_NULL)
#define sq_isclass(o) ((o)._type == OT_CLASS)
#define sq_isinstance(o) ((o)._type == OT_INSTANCE)
#define sq_isbool(o) ((o)._type == OT_BOOL)
#define sq_isweakref(o) ((o)._type == OT_WEAKREF)
#define sq_type(o) ((o)._type)

/* deprecated */
#define sq_createslot(v, n) sq_newslot(v, n, SQFalse)

/* Inline readers. Natives read their arguments through sq_getinteger, sq_getfloat,
   sq_getuserdata and sq_getsize on every call: these read the common cases (an integer, a
   float, a userdata at an index inside the frame) in place and leave everything else,
   errors included, to the _slow forms declared above, which give the same results for
   every value. The views mirror the VM's own layout of a VM, a stack value and a userdata;
   the library fails to build when they stop matching. Nothing else may use them. */
#ifdef __cplusplus
#define SQ_INLINE inline
#else
#define SQ_INLINE static inline
#endif
/* The readers' common cases, laid out as the straight path through the native calling them. */
#if defined(__GNUC__) || defined(__clang__)
#define SQ_VIEW_LIKELY(x) __builtin_expect(!!(x), 1)
#else
#define SQ_VIEW_LIKELY(x) (x)
#endif

typedef struct tagSQObjectHeaderView {
    uint32_t refs;
    uint8_t kind;
    uint8_t marked;
    void *weak;
    void *runtime;
    void *gcPrev;
    void *gcNext;
} SQObjectHeaderView;

typedef struct tagSQValueView {
    uint8_t kind;
    union {
        SQInteger i;
        SQFloat f;
        void *p;
        uint64_t bits;
    } u;
} SQValueView;

typedef struct tagSQVMView {
    SQObjectHeaderView head;
    SQValueView *stack;
    uint32_t stackSize;
    uint32_t top;
    uint32_t base;
} SQVMView;

typedef struct tagSQUserDataView {
    SQObjectHeaderView head;
    void *delegate;
    SQUserPointer typeTag;
    void *hook;
    SQInteger size;
} SQUserDataView;

#define SQ_VIEW_KIND_INTEGER 2
#define SQ_VIEW_KIND_FLOAT 3
#define SQ_VIEW_KIND_USERDATA 11
#define SQ_VIEW_USERDATA_PAYLOAD ((sizeof(SQUserDataView) + 15) & ~(size_t)15)

/* Finds the stack value at idx (1 the frame base, -1 the top); false outside the frame.
   Read with memcpy: the VM writes these as its own types. */
SQ_INLINE int sq_view_slot(HSQUIRRELVM v, SQInteger idx, const char **value)
{
    const char *vm = (const char *)v;
    uint32_t top, slot;
    const char *stack;
    memcpy(&top, vm + offsetof(SQVMView, top), sizeof(top));
    if (idx > 0) {
        uint32_t base;
        memcpy(&base, vm + offsetof(SQVMView, base), sizeof(base));
        slot = base + (uint32_t)idx - 1u;
    } else {
        slot = top + (uint32_t)idx; /* 0 gives top; below the stack wraps past it */
    }
    if (!SQ_VIEW_LIKELY(slot < top)) return 0;
    memcpy(&stack, vm + offsetof(SQVMView, stack), sizeof(stack));
    *value = stack + (size_t)slot * sizeof(SQValueView);
    return 1;
}

SQ_INLINE uint8_t sq_view_kind(const char *value)
{
    uint8_t kind;
    memcpy(&kind, value + offsetof(SQValueView, kind), sizeof(kind));
    return kind;
}

SQ_INLINE SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger *i)
{
    const char *value;
    if (SQ_VIEW_LIKELY(sq_view_slot(v, idx, &value) && sq_view_kind(value) == SQ_VIEW_KIND_INTEGER)) {
        memcpy(i, value + offsetof(SQValueView, u), sizeof(*i));
        return SQ_OK;
    }
    return sq_getinteger_slow(v, idx, i);
}

SQ_INLINE SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat *f)
{
    const char *value;
    SQFloat x;
    SQRESULT r;
    if (SQ_VIEW_LIKELY(sq_view_slot(v, idx, &value))) {
        uint8_t kind = sq_view_kind(value);
        if (SQ_VIEW_LIKELY(kind == SQ_VIEW_KIND_FLOAT)) {
            memcpy(&x, value + offsetof(SQValueView, u), sizeof(x));
            *f = x;
            return SQ_OK;
        }
        if (kind == SQ_VIEW_KIND_INTEGER) {
            SQInteger n;
            memcpy(&n, value + offsetof(SQValueView, u), sizeof(n));
            *f = (SQFloat)n;
            return SQ_OK;
        }
    }
    /* Through a temporary, as in sq_getuserdata: the caller's variable stays out of
       memory on the common path. */
    r = sq_getfloat_slow(v, idx, &x);
    if (SQ_SUCCEEDED(r)) *f = x;
    return r;
}

/* Finds the userdata object of the value at idx; false when it is not one. */
SQ_INLINE int sq_view_userdata(HSQUIRRELVM v, SQInteger idx, const char **ud)
{
    const char *value;
    if (!SQ_VIEW_LIKELY(sq_view_slot(v, idx, &value) && sq_view_kind(value) == SQ_VIEW_KIND_USERDATA)) return 0;
    memcpy(ud, value + offsetof(SQValueView, u), sizeof(*ud));
    return 1;
}

SQ_INLINE SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer *typetag)
{
    const char *ud;
    if (!SQ_VIEW_LIKELY(sq_view_userdata(v, idx, &ud))) {
        /* Through temporaries, copied out on success as the slow form writes them: the
           caller's variables stay out of memory on the common path. */
        SQUserPointer memory, tag;
        SQRESULT r = sq_getuserdata_slow(v, idx, &memory, typetag ? &tag : NULL);
        if (SQ_SUCCEEDED(r)) {
            *p = memory;
            if (typetag) *typetag = tag;
        }
        return r;
    }
    *p = (SQUserPointer)(ud + SQ_VIEW_USERDATA_PAYLOAD);
    if (typetag) memcpy(typetag, ud + offsetof(SQUserDataView, typeTag), sizeof(*typetag));
    return SQ_OK;
}

SQ_INLINE SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx)
{
    const char *ud;
    SQInteger size;
    if (!SQ_VIEW_LIKELY(sq_view_userdata(v, idx, &ud))) return sq_getsize_slow(v, idx);
    memcpy(&size, ud + offsetof(SQUserDataView, size), sizeof(size));
    return size;
}

/* sq_getuserdata and sq_getsize of the same userdata in one read of the slot: the same
   result, memory, tag and error as sq_getuserdata, and on success *size as sq_getsize
   gives it (untouched on failure). A project extension for the handle readers, which
   check both on every native call. */
SQ_INLINE SQRESULT sq_getuserdataandsize(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer *typetag,
                                         SQInteger *size)
{
    const char *ud;
    if (!SQ_VIEW_LIKELY(sq_view_userdata(v, idx, &ud))) {
        SQRESULT r = sq_getuserdata(v, idx, p, typetag);
        if (SQ_SUCCEEDED(r)) *size = sq_getsize_slow(v, idx);
        return r;
    }
    *p = (SQUserPointer)(ud + SQ_VIEW_USERDATA_PAYLOAD);
    if (typetag) memcpy(typetag, ud + offsetof(SQUserDataView, typeTag), sizeof(*typetag));
    memcpy(size, ud + offsetof(SQUserDataView, size), sizeof(*size));
    return SQ_OK;
}

#ifdef __cplusplus
}
#endif

#endif
