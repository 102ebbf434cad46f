// The flat interface of libnotestore for .NET and Mono callers: P/Invoke
// declarations that match notestore.h one for one (tests/bindings checks
// them against the header), SafeHandle classes for the objects a caller
// owns, and NotestoreException built from the thread's last-exception
// record.
//
// Marshalling: text is UTF-16 (CharSet.Unicode, LPWStr in, char[] buffers
// out); OL_BOOL is one byte (MarshalAs U1); every handle is pointer-sized.
// Functions that delete an object take IntPtr, so that the SafeHandle
// classes can call them from ReleaseHandle.
using System;
using System.Runtime.InteropServices;

namespace Notestore
{
    /// <summary>Kinds of the last-exception record.</summary>
    public enum ExceptionKind
    {
        None = 0,
        Library = 1,
        Database = 2,
        File = 3,
        Unknown = 4,
    }

    /// <summary>A failure the library recorded for the calling thread.</summary>
    public class NotestoreException : Exception
    {
        public const uint NoNumber = 0xFFFFFFFF;

        public NotestoreException(string operation, ExceptionKind kind, uint number, string text)
            : base(Describe(operation, number, text))
        {
            Operation = operation;
            Kind = kind;
            Number = number;
            Text = text;
        }

        public string Operation { get; private set; }
        public ExceptionKind Kind { get; private set; }
        /// <summary>The error number; NoNumber when there is none.</summary>
        public uint Number { get; private set; }
        public string Text { get; private set; }

        /// <summary>The thread's last-exception record, or null when the latest call completed.</summary>
        public static NotestoreException FromLastRecord(string operation)
        {
            var kind = (ExceptionKind)NativeMethods.OL_GetLastExceptionKind();
            if (kind == ExceptionKind.None)
                return null;
            uint number = NativeMethods.OL_GetLastExceptionNumber();
            string text = string.Empty;
            int length = NativeMethods.OL_GetLastExceptionText(null);
            if (length > 0)
            {
                var buffer = new char[length + 1];
                NativeMethods.OL_GetLastExceptionText(buffer);
                text = new string(buffer, 0, length);
            }
            return new NotestoreException(operation, kind, number, text);
        }

        /// <summary>Throws the record of the latest call, if it failed.</summary>
        public static void ThrowIfFailed(string operation)
        {
            var failure = FromLastRecord(operation);
            if (failure != null)
                throw failure;
        }

        static string Describe(string operation, uint number, string text)
        {
            string detail = string.IsNullOrEmpty(text) ? "no description" : text;
            if (number != NoNumber)
                detail += " (error " + number + ")";
            return operation + ": " + detail;
        }
    }

    /// <summary>Owns a handle that the library gave out and deletes it with the
    /// matching function.</summary>
    public abstract class NotestoreHandle : SafeHandle
    {
        protected NotestoreHandle() : base(IntPtr.Zero, true) { }

        public override bool IsInvalid { get { return handle == IntPtr.Zero; } }

        /// <summary>The library took the object over (OL_AddtoRS, a successful
        /// OL_SetDrawing, ConvertDIBtoBitmap): this handle no longer deletes it.</summary>
        public void HandOver()
        {
            SetHandleAsInvalid();
        }
    }

    /// <summary>A category database (OL_CreateCategoryDB / OL_DeleteCategoryDB).</summary>
    public sealed class CategoryDbHandle : NotestoreHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.OL_DeleteCategoryDB(handle);
            return true;
        }
    }

    /// <summary>An outline document (OL_CreateOutlineDB / OL_DeleteOutlineDB).</summary>
    public sealed class OutlineDbHandle : NotestoreHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.OL_DeleteOutlineDB(handle);
            return true;
        }
    }

    /// <summary>An outline record the caller owns (OL_CreateOutlineRecord,
    /// OL_CreateDBRecord / OL_DeleteCOutlineRecord) until OL_AddtoRS.</summary>
    public sealed class OutlineRecordHandle : NotestoreHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.OL_DeleteCOutlineRecord(handle);
            return true;
        }
    }

    /// <summary>A memory block (a DIB) the caller owns (MemFree).</summary>
    public sealed class MemoryBlockHandle : NotestoreHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.MemFree(handle);
            return true;
        }
    }

    /// <summary>A bitmap or palette of the bitmap bridge (OL_DeleteGraphicsObject).</summary>
    public sealed class GraphicsObjectHandle : NotestoreHandle
    {
        protected override bool ReleaseHandle()
        {
            return NativeMethods.OL_DeleteGraphicsObject(handle) != 0;
        }
    }

    /// <summary>A walk over the live categories (OL_CategoryIterator).</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct CategoryIterator
    {
        public IntPtr Database;
        public uint Position;
    }

    /// <summary>The font record (OL_LogFont): 28 bytes of metrics, then the face name.</summary>
    [StructLayout(LayoutKind.Sequential, CharSet = System.Runtime.InteropServices.CharSet.Unicode)]
    public struct LogFont
    {
        public int Height, Width, Escapement, Orientation, Weight;
        public byte Italic, Underline, StrikeOut, CharSet;
        public byte OutPrecision, ClipPrecision, Quality, PitchAndFamily;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string FaceName;
    }

    /// <summary>A window placement (OL_WindowPlacement), 44 bytes.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct WindowPlacement
    {
        public uint Length, Flags, ShowCmd;
        public int MinX, MinY, MaxX, MaxY;
        public int Left, Top, Right, Bottom;
    }

    /// <summary>Open modes of OL_Open and OL_OpenCategoryFile.</summary>
    public static class OpenMode
    {
        public const uint Read = 0x0000, Write = 0x0001, ReadWrite = 0x0002, Create = 0x1000;
        public const int CategoryRead = 1, CategoryCreate = 2, CategoryReadWrite = 3;
    }

    /// <summary>The most characters the header text getters copy (OL_CATEGORY_NAME_MAX,
    /// OL_OUTLINE_TITLE_MAX): a buffer one longer always suffices.</summary>
    public static class Limits
    {
        public const int CategoryNameMax = 31, OutlineTitleMax = 255;
    }

    /// <summary>Reading the library's UTF-16 results.</summary>
    public static class Text
    {
        /// <summary>The text in a buffer the library filled, up to its terminator.</summary>
        public static string FromBuffer(char[] buffer)
        {
            int length = Array.IndexOf(buffer, '\0');
            return new string(buffer, 0, length < 0 ? buffer.Length : length);
        }

        /// <summary>An item's text (OL_GetText) or note (OL_GetNote), sized first.</summary>
        public static string OfRecord(IntPtr record, bool note)
        {
            int length = note ? NativeMethods.OL_GetNote(record, null) : NativeMethods.OL_GetText(record, null);
            var buffer = new char[length + 1];
            if (note)
                NativeMethods.OL_GetNote(record, buffer);
            else
                NativeMethods.OL_GetText(record, buffer);
            return new string(buffer, 0, length);
        }
    }

    /// <summary>The exports of libnotestore.so.0, in the order of notestore.h.</summary>
    public static class NativeMethods
    {
        public const string Library = "libnotestore.so.0";

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetLastExceptionKind();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetLastExceptionNumber();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetLastExceptionText([Out] char[] bufferOrNull);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr MemAlloc(uint size);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void MemFree(IntPtr handle);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr MemGetPtr(IntPtr handle);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void MemReleasePtr(IntPtr handle);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr MemRealloc(IntPtr handle, uint size);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr MemDuplicate(IntPtr handle);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint MemGetSize(IntPtr handle);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern CategoryDbHandle OL_CreateCategoryDB();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteCategoryDB(IntPtr db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_OpenCategoryFile(CategoryDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string path, int mode);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CheckCategoryDbInfo(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CreateCategoryRecordset(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CategoryInitNewDataBase(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CategoryReadExtraRows(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CategoryWriteExtraRows(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CategoryReadRows(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CategoryWriteRows(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_WriteAllCategoryHeaders(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CategoryClose(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern byte OL_GetMaxCategoryAmount();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_GetCatRecordset(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetCategoryRecordSize(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_isFull(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_FindFirstHole(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_ResizeDB(CategoryDbHandle db, uint slot);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_deleteAllCategories(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteCategory(CategoryDbHandle db, IntPtr record, uint time);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_UndeleteCategory(CategoryDbHandle db, IntPtr record, uint time);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetCategoryID(CategoryDbHandle db, IntPtr record);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetCategoryID(CategoryDbHandle db, IntPtr record, uint id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_GetCatCategoryName(CategoryDbHandle db, IntPtr record, IntPtr name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_GetIterCategoryName(CategoryDbHandle db, [Out] char[] buffer, uint slot);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_AddNewCategorybyName(CategoryDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_RenameCategory(CategoryDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string oldName, [MarshalAs(UnmanagedType.LPWStr)] string newName);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_FindCategorybyName(CategoryDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteCategorybyName(CategoryDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern CategoryIterator OL_GetIterator(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern CategoryIterator OL_GetNext(CategoryDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern OutlineDbHandle OL_CreateOutlineDB();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteOutlineDB(IntPtr db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CheckDbInfo(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_Open(OutlineDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string path, uint mode);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_CreateRecordset(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_ReadExtraRows(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_WriteExtraRows(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_InitNewDataBase(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_ReadSharedHeader(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_WriteSharedHeader(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_ReadPrivateHeader(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_WritePrivateHeader(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_ReadRows(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_WriteRows(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_WriteAllHeaders(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_Close(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteAll(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool keepIds);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_Delete(OutlineDbHandle db, IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_IsDeletedId(OutlineDbHandle db, uint id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_IsDeletedRec(OutlineDbHandle db, IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_AddDeletedId(OutlineDbHandle db, uint id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_removeDeletedId(OutlineDbHandle db, uint id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_compareSharedHeader(OutlineDbHandle db, OutlineDbHandle other);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_comparePrivateHeader(OutlineDbHandle db, OutlineDbHandle other);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_copySharedHeader(OutlineDbHandle db, OutlineDbHandle other);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_copyPrivateHeader(OutlineDbHandle db, OutlineDbHandle other);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetCategoryName(OutlineDbHandle db, [Out] char[] bufferOrNull);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetCategoryName(OutlineDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetCategoryChanged(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetCategoryChanged(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool changed);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetOutlineTitle(OutlineDbHandle db, [Out] char[] bufferOrNull);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetOutlineTitle(OutlineDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string title);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetPrivate(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetPrivate(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool isPrivate);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetPrivateTagChanged(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetPrivateTagChanged(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool changed);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetOutlineChanged(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetOutlineChanged(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool changed);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetSynchronized(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetSynchronized(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool synchronized);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_getNumbering(OutlineDbHandle db, [Out] byte[] numbering);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_setNumbering(OutlineDbHandle db, [In] byte[] numbering);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_getNumberingChanged(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_setNumberingChanged(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool changed);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern ushort OL_getNumberingDivider(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_setNumberingDivider(OutlineDbHandle db, ushort divider);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_getNumberingDividerChanged(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_setNumberingDividerChanged(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool changed);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern byte OL_GetShowCheckedItems(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetShowCheckedItems(OutlineDbHandle db, byte mode);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_ShowCheckedItemsChanged(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_setCheckedItemsChanged(OutlineDbHandle db, [MarshalAs(UnmanagedType.U1)] bool changed);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetSelectedIndex(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetSelectedIndex(OutlineDbHandle db, uint index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetTopIndex(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetTopIndex(OutlineDbHandle db, uint index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern byte OL_GetShowHeadingsMode(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetShowHeadingsMode(OutlineDbHandle db, byte mode);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetOutlineFont(OutlineDbHandle db, [MarshalAs(UnmanagedType.LPWStr)] string faceName, int height, int weight, byte strikeOut, byte underline, byte italic);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_GetOutlineFont(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetOultineWindowPos(OutlineDbHandle db, [In] ref WindowPlacement placement);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_GetOutlineWindowPos(OutlineDbHandle db, out WindowPlacement placement);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetSize(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_GetRecordSet(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_GetRecord(OutlineDbHandle db, uint index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_AppendRecordSet(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern OutlineRecordHandle OL_CreateDBRecord(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_AddtoRS(OutlineDbHandle db, OutlineRecordHandle rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteDBRecord(OutlineDbHandle db, IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_EmptyRS(OutlineDbHandle db);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_ReadRow(OutlineDbHandle db, uint filePos, IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_CopyRecord(IntPtr unused, IntPtr dst, IntPtr src);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_DuplicateRecord(OutlineDbHandle db, IntPtr src);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern IntPtr OL_GetRecordString(OutlineDbHandle db, uint index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetRecordChecked(OutlineDbHandle db, uint index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern byte OL_GetRecordLevel(OutlineDbHandle db, uint index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetRecordId(OutlineDbHandle db, uint index);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern OutlineRecordHandle OL_CreateOutlineRecord();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteCOutlineRecord(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_Init(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetId(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetId(IntPtr rec, uint id);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern byte OL_GetIndent(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetIndent(IntPtr rec, uint indent);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetText(IntPtr rec, [Out] char[] bufferOrNull);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetText(IntPtr rec, [MarshalAs(UnmanagedType.LPWStr)] string text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteText(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetNote(IntPtr rec, [Out] char[] bufferOrNull);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetNote(IntPtr rec, [MarshalAs(UnmanagedType.LPWStr)] string note);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteNote(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_HasNote(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetExpanded(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetExpanded(IntPtr rec, [MarshalAs(UnmanagedType.U1)] bool expanded);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_GetChecked(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetChecked(IntPtr rec, [MarshalAs(UnmanagedType.U1)] bool @checked);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_HasDrawing(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern MemoryBlockHandle OL_GetDrawing(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_SetDrawing(IntPtr rec, MemoryBlockHandle dib);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_DeleteBitmap(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_GetDrawingSize(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetSizeX();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_GetSizeY();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_UpdateChangedFields(IntPtr rec, IntPtr prev);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_updateRecordChanged(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_IsChanged(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetNew(IntPtr rec, [MarshalAs(UnmanagedType.U1)] bool value);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern void OL_SetSortChanged(IntPtr rec, [MarshalAs(UnmanagedType.U1)] bool value);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetIndex(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern uint OL_GetPos(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool OL_IsFileRecord(IntPtr rec);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern MemoryBlockHandle BitmapToDIB([MarshalAs(UnmanagedType.LPWStr)] string path, IntPtr paletteOrNull);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern GraphicsObjectHandle DIBToBitmap(IntPtr dib, IntPtr paletteOrNull);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern GraphicsObjectHandle ConvertDIBtoBitmap(MemoryBlockHandle dib);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, CharSet = CharSet.Unicode, ExactSpelling = true)]
        public static extern int OL_DeleteGraphicsObject(IntPtr bitmapOrPalette);
    }
}
